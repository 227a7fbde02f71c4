// The Windows test programs' entry point: the program's dialogs, menu and
// pictures are registered first, as WinMain does, since the tests open them
// without WinMain.
#include "res/resources.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ResRegister();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
