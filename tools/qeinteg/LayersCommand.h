// `qeinteg layers`: lists the layers of a map service.
#pragma once

int RunLayersCommand(int argc, char** argv);
