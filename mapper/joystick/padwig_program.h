// Padwig, the joystick mapper, as a program of the mapper frame.
#pragma once
#include "../common/mapper_state.h"

extern const MapperProgram kPadwigProgram;
