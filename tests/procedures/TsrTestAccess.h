// Reaches QEInteractiveTSR's private operations for the tests.
#pragma once

#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <minizip/zip.h>

#include "qeinteg/data/QERawDataIterator.h"
#include "qeinteg/data/QESimpleContainer.h"
#include "qeinteg/java/JNIJSONArray.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/platform/engine/service/EmbeddedQE.h"
#include "qeinteg/platform/host/data/HostDataset.h"
#include "qeinteg/platform/host/metadata/CFMetaData.h"
#include "qeinteg/platform/host/text/HostDates.h"
#include "qeinteg/procedures/QEInteractiveTSR.h"

// Reaches the front-end's private preparation steps.
class QEInteractiveTSRTestAccess {
  public:
    QEInteractiveTSR tsr;

    bool GetMetaData(const std::string& a, CFMetaData& m) { return tsr.GetMetaData(a, m); }
    bool Settings(const std::string& a, const TAVO_DataSource* ds,
                  const std::vector<std::string>& d, std::set<int>& f, std::string& s,
                  std::string& t) {
        return tsr.ProcessTsdpSettings(a, ds, d, f, s, t);
    }
    bool Points(const std::string& a, const TAVO_DataSource* ds, const std::vector<std::string>& d,
                std::set<int>& f, std::string& s, int& n) {
        return tsr.ProcessTsdpSettings(a, ds, d, f, s, n);
    }
    bool UpdateDataModel(const std::vector<std::string>& f, QERawDataIterator& it,
                         QESimpleContainer& d, QESimpleContainer& m) {
        return tsr.UpdateDataModel(f, it, d, m);
    }
    bool Convert(const std::string& f, QERawDataIterator& it, QESimpleContainer& d,
                 QESimpleContainer& m) {
        return tsr.ConvertTimeStr(f, it, d, m);
    }
    bool Convert(const std::string& f, QESimpleContainer& id, QESimpleContainer& im,
                 QESimpleContainer& d, QESimpleContainer& m) {
        return tsr.ConvertTimeStr(f, id, im, d, m);
    }
    bool RunTSDP(QERawDataIterator& it, const std::string& s, QESimpleContainer& o,
                 QESimpleContainer& d, QESimpleContainer& m) {
        return tsr.RunTSDP(it, s, o, d, m);
    }
    bool RunTSDP(QESimpleContainer& id, QESimpleContainer& im, const std::string& s,
                 QESimpleContainer& o, QESimpleContainer& d, QESimpleContainer& m) {
        return tsr.RunTSDP(id, im, s, o, d, m);
    }
    std::string Lambda(const std::string& f) { return tsr.GetToTimestampLambda(f); }
    std::string Reader(const std::string& d, const std::string& m) {
        return tsr.GenerateReaderConf(d, m);
    }
    std::string Container(const std::string& n, const std::string& u, bool e) {
        return tsr.GetOutputContainerJson(n, u, e)->serialize();
    }
    std::string Path(const std::string& p) { return tsr.TransformPath(p); }
    std::string NoBackslash(const std::string& t) { return tsr.removeBackslash(t); }
    void AddLongList(JNIJSONArray& a, const std::vector<long long>& v) { tsr.AddLongList(a, v); }

    std::string Rtsdp(const std::string& p) { return tsr.GenerateRtsdpConf(p); }
    std::string Scoring(const std::string& a, QESimpleContainer& o) {
        return tsr.GenerateScoringQEL(a, o);
    }
    std::string Impact(QESimpleContainer& m, QESimpleContainer& d, QESimpleContainer& t,
                       const std::string& a, const std::vector<std::string>& targets, int level,
                       QESimpleContainer& s) {
        return tsr.GenerateImpactDiagramQEL(m, d, t, a, targets, false, level, s);
    }
    std::string Impact(const std::string& a, const std::vector<std::string>& targets, int level,
                       QESimpleContainer& s) {
        return tsr.GenerateImpactDiagramQEL(a, targets, true, level, s);
    }
    std::string ScoreSettings(const std::vector<std::string>& series, int span, bool isTcm) {
        JNIJSONObject conf;
        tsr.GenerateScoreSettings(conf, series, span, isTcm);
        return conf.serialize();
    }
    std::string OutputSetting(const std::vector<std::string>& targets, bool flag, int level) {
        return tsr.GetTargetsOutputSetting(targets, flag, level)->serialize();
    }
    bool Encode(const std::string& xml, const std::vector<std::string>& dims,
                const std::vector<std::string>& values, const std::string& metric,
                std::string& id) {
        return tsr.EncodeSeriesName(xml, dims, values, metric, id);
    }
    std::string IdText(const std::vector<int>& positions) {
        return tsr.BuildSeriesIDStr(positions);
    }
    bool IsTarget(const std::string& a, const std::string& metric,
                  const std::vector<std::string>& dims, const std::vector<std::string>& values,
                  bool& isTarget) {
        return tsr.IsTargetSeries(a, metric, dims, values, isTarget);
    }
    bool TcmScore(const std::string& a, const std::string& metric,
                  const std::vector<std::string>& series, QESimpleContainer& t,
                  QESimpleContainer& m, QESimpleContainer& d, int span, int first, int last,
                  std::vector<double>& observed, std::vector<double>& predicted) {
        return tsr.TcmScore(a, metric, series, t, m, d, span, first, last, observed, predicted);
    }
    bool ArScore(const std::string& a, const std::string& metric,
                 const std::vector<std::string>& series, QESimpleContainer& t, QESimpleContainer& m,
                 QESimpleContainer& d, int span, int first, int last, std::vector<double>& observed,
                 std::vector<double>& predicted) {
        return tsr.ArScore(a, metric, series, t, m, d, span, first, last, observed, predicted);
    }
    bool ReadScored(EmbeddedQE::RowDataIterator& rows, const std::string& metric, int first,
                    int last, std::vector<double>& observed, std::vector<double>& predicted) {
        return tsr.ReadScoredRecords(rows, metric, first, last, observed, predicted);
    }
    void Range(const std::string& s, const std::string& e, int t, int& span, int& first,
               int& last) {
        tsr.ScenarioRecords(s, e, t, span, first, last);
    }
    bool SummaryModel(const std::string& a, std::string& model) {
        return tsr.ReadSummaryDataModel(a, model);
    }
    std::string Error() {
        std::string id, message, detail;
        tsr.hasError(id, message, detail);
        return message;
    }
};

namespace tsrtest {

inline void WriteArchive(const std::string& path, const std::vector<std::string>& namesAndTexts) {
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr);
    for (size_t i = 0; i + 1 < namesAndTexts.size(); i += 2) {
        zip_fileinfo info{};
        ASSERT_EQ(zipOpenNewFileInZip(zip, namesAndTexts[i].c_str(), &info, nullptr, 0, nullptr, 0,
                                      nullptr, Z_DEFLATED, Z_DEFAULT_COMPRESSION),
                  ZIP_OK);
        zipWriteInFileInZip(zip, namesAndTexts[i + 1].data(),
                            static_cast<unsigned>(namesAndTexts[i + 1].size()));
        zipCloseFileInZip(zip);
    }
    zipClose(zip, nullptr);
}

// The public yearly electricity data as a host dataset: year (date), source (text), total.
inline std::shared_ptr<HostDataset> IowaDataset() {
    auto data = std::make_shared<HostDataset>();
    TAVO_Variable year("year", 0);
    year.SetFormat(TAVO_Format{20, 11, 0});
    data->AddVariable(std::move(year));
    data->AddVariable(TAVO_Variable("source", 16));
    TAVO_Variable total("net_generation", 0);
    total.SetMeasurementLevel(TAVO_Variable_Enumerations::Scale);
    data->AddVariable(std::move(total));
    std::ifstream in(std::string(QEINTEG_SHARED_DATA_DIR) + "/iowa-electricity.csv");
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::stringstream cells(line);
        std::string y, s, n;
        std::getline(cells, y, ',');
        std::getline(cells, s, ',');
        std::getline(cells, n, ',');
        const long row = data->AddCase();
        data->SetNumeric(row, 0, qehost::HostDateNumber(std::stoi(y.substr(0, 4)), 1, 1));
        data->SetString(row, 1, s);
        data->SetNumeric(row, 2, std::stod(n));
    }
    return data;
}

}  // namespace tsrtest
