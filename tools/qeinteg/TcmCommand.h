// `qeinteg tcm build DATA.csv --time FIELD [--dims A,B] --metrics M1,M2 ... -o MODEL.zip` builds a
// temporal causal model archive from a CSV file; `qeinteg tcm prepare MODEL.zip DATA.csv -o
// PREPARED.csv` prepares a CSV file the way the model's preparation settings say (docs/tcm.md).
// `capabilities`, `impact` and `scenario` use a model through the library (TcmModelCommand.h).
#pragma once

int RunTcmCommand(int argc, char** argv);
