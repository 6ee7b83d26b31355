// Resource identifiers of the program.
#pragma once

#define IDI_APP 1
