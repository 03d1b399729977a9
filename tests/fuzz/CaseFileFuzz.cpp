// The host's case-file reader with its dictionary. The input is the CSV data, then a line
// "#dictionary", then the dictionary file. A file either reads or gives a reason; never a crash.
#include <cstdlib>

#include "FuzzSupport.h"
#include "qeinteg/platform/host/data/UserCaseFileSpec.h"
#include "qeinteg/platform/host/data/UserInputCaseFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [csv, dictionary] = qefuzz::SplitAt(qefuzz::AsText(data, size), "\n#dictionary\n");
    const std::string csvPath = qefuzz::WriteInput("cases.csv", csv);
    const std::string dictionaryPath = qefuzz::WriteInput("cases.dict", dictionary);
    for (bool names : {true, false}) {
        UserCaseFileSpec caseFile;
        caseFile.Init(csvPath, names, false);
        if (!dictionary.empty())
            caseFile.SetDictionaryPath(dictionaryPath);
        const UserInputCaseFile file(caseFile);
        if (file.IsOpen() != file.Error().empty())
            std::abort();
        const HostDataset& cases = file.Dataset();
        for (long row = 0; row < cases.CaseCount(); ++row) {
            for (int column = 0; column < cases.ColumnCount(); ++column) {
                if (cases.GetVariable(column).GetType() == 0) {
                    cases.GetNumeric(row, column);
                } else {
                    cases.GetString(row, column);
                }
            }
        }
    }
    return 0;
}
