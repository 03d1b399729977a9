// `qeinteg service`: starts the engine service and prints the settings it was handed.
#pragma once

int RunServiceCommand(int argc, char** argv);
