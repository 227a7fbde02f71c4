// The resource types moved to the window layer; the program's lookups are in res/resources.h.
#pragma once
#include "platform/templates.h"
#include "res/resources.h"
