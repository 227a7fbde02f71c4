# The program's own folders, built alike on every system once the platform
# layer (mptest_platform) is defined: its pictures, its resources and the
# program itself but for the entry point. Of port/, only this system's half of
# the hardware contracts is built.

# Pictures compiled into the program.
file(GLOB MPTEST_ART CONFIGURE_DEPENDS res/art/*.png)
mptest_embed_files(${CMAKE_BINARY_DIR}/generated/res_art.cpp ${MPTEST_ART})

# The program's resources: templates, menu and pictures as data. They register
# their lookups with the window layer while the program loads, and nothing
# calls into them by name, so every program takes the whole library.
file(GLOB MPTEST_RES_SOURCES CONFIGURE_DEPENDS res/*.cpp)
add_library(mptest_res STATIC ${MPTEST_RES_SOURCES} ${CMAKE_BINARY_DIR}/generated/res_art.cpp)
target_include_directories(mptest_res PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(mptest_res PUBLIC mptest_platform)

if(WIN32)
  set(MPTEST_OTHER_PORT_HALF linux)
else()
  set(MPTEST_OTHER_PORT_HALF windows)
endif()
file(GLOB_RECURSE MPTEST_CORE_SOURCES CONFIGURE_DEPENDS app/*.cpp port/*.cpp send/*.cpp ui/*.cpp)
list(FILTER MPTEST_CORE_SOURCES EXCLUDE REGEX "/port/${MPTEST_OTHER_PORT_HALF}/")
list(FILTER MPTEST_CORE_SOURCES EXCLUDE REGEX "/app/main\\.cpp$")
add_library(mptest_core STATIC ${MPTEST_CORE_SOURCES} ${MPTEST_EMPTY})
target_include_directories(mptest_core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(mptest_core PUBLIC mptest_platform "$<LINK_LIBRARY:WHOLE_ARCHIVE,mptest_res>")
