#include "TestApp.h"
