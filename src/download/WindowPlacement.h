#pragma once

// Window placement is a service every window uses; it lives with the shell.
#include "shell/WindowPlacement.h"
