// `qeinteg score MODEL.pmml DATA.csv [--outputs A,B] [--keys A,B] [-o OUT.csv] [--json]`: scores
// every record of a CSV file with a PMML model through the dataset iterator and the record scorer,
// and writes each record's key fields with the model's outputs as CSV.
//
// `qeinteg score-settings [--missing-as-predictor] [--max-predictions N] [--json]`: prints the
// scoring module's execution settings document.
#pragma once

int RunScoreCommand(int argc, char** argv);
int RunScoreSettingsCommand(int argc, char** argv);
