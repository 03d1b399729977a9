// The engine job context of one host procedure: prepares the active dataset, submits a QEL job
// with its inputs and outputs, runs it while the host may interrupt, and shows the run's messages.
//
// Everything runs on the procedure thread except cancelExecution (and the installed interrupt
// handler), which the host may call from its interrupt thread while execute blocks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "qeinteg/platform/engine/service/EmbeddedQE.h"
#include "qeinteg/platform/host/process/TavoAdapter.h"
#include "qeinteg/qeinteg_export.h"

class JNIJSONObject;
class ParserMessage;
class PnProcedure;
class ProcedureDataSource;
class QEProgressListener;
class QERunImpl;
class QEStatContainer;
class QEStatDataIterator;

class QEINTEG_EXPORT QERunner {
  public:
    // Installed as the host adapter's interrupt handler while a run of a runner with a procedure
    // executes; an interrupt cancels that run.
    class QEINTEG_EXPORT InterruptHandler : public TavoAdapter::InterruptHandler {
      public:
        explicit InterruptHandler(QERunner* runner) : runner_(runner) {}
        ~InterruptHandler() override;
        void Interrupt() override;

      private:
        QERunner* runner_;
    };

    // One layer of a map service.
    struct LayerInfo {
        int32_t id = 0;
        std::vector<int32_t> subLayers;
        std::string name;
        std::string keys;
        std::string description;
        std::string features;
    };

    // One recommended projected coordinate system. transForward[i] tells whether transMethods[i]
    // is applied in its "forward" direction.
    struct RecommendPCS {
        int32_t wkid = 0;
        std::string name;
        std::string wkt;
        std::vector<std::string> transMethods;
        std::vector<bool> transForward;
    };

    enum CSTYPE { CSUnknown = 0, CSProjected = 1, CSGeographic = 2 };

    // Builds the input document of getRecommendPCSs: extents keyed by number. Copies are
    // independent documents.
    class QEINTEG_EXPORT RecommendPCSInputMaker {
      public:
        RecommendPCSInputMaker();
        ~RecommendPCSInputMaker();
        RecommendPCSInputMaker(const RecommendPCSInputMaker& other);
        RecommendPCSInputMaker& operator=(const RecommendPCSInputMaker& other);

        // Puts the extent under the decimal text of key; a repeated key replaces the extent.
        void addInput(int key, double leftUpperX, double leftUpperY, double rightLowerX,
                      double rightLowerY);
        std::string toString();

      private:
        JNIJSONObject* _input;
    };

    // `procedure` (not owned, may be null) receives progress and messages and decides whether an
    // interrupt raises the host's interrupt flag.
    explicit QERunner(PnProcedure* procedure);
    // Restores the weight and split settings that prepareActiveDS cleared, releases a prepared job
    // and the job's Java references.
    virtual ~QERunner();
    QERunner(const QERunner&) = delete;
    QERunner& operator=(const QERunner&) = delete;

    // Clears the host's weight and split settings for the run (restored by the destructor). Always
    // true.
    bool prepareActiveDS(ProcedureDataSource& ds, bool weightSupported, bool splitSupported);
    // Makes a new executor for `jobText`, releasing the previous one. Engine exceptions pass.
    bool prepareQELJob(const std::string& jobText);

    // These require a prepared job (checked: "_qeExecutor != 0").
    bool addInputIterator(QEStatDataIterator* it);
    bool addInputContainer(QEStatContainer* container);
    bool addOutputContainer(QEStatContainer* container);
    // A row iterator over a named output, or null (also on any engine exception). The caller
    // disposes it.
    EmbeddedQE::RowDataIterator* getOutputIterator(const std::string& name);
    // Runs the job. False when the runner was stopped before (without calling the engine) or when
    // the run failed; true for a run that succeeded or was cancelled.
    bool execute();

    // Cancels the running job (from any thread) and marks the runner stopped.
    void cancelExecution();
    bool isStopProcessor();
    // Clears the stopped mark; a runner without a procedure stays stopped once cancelled.
    void resetStopRrocessor();

    QEProgressListener* getProgressListener();
    const ParserMessage* getParserMessage() const;
    void displayAllMessages(bool showError);
    void displayMessage();
    bool displayOutputs();

    // Releases the prepared job, if any.
    void cleanExecution();
    void resetJNI();
    void cleanJRef();
    // Reads the host's locale again; the next job uses it.
    void UpdataQEAppSetting();

    // --- Metadata queries ---
    // Each ends a prepared job as cleanExecution does, then asks the engine's metadata service.
    // No exception leaves them: a failure gives false, an empty string or an empty list.

    // The data model XML of the data source of `jobText`, whose data-model builder exports to
    // `container`. True when result is not empty.
    bool getMetadata(const std::string& jobText, const QEStatContainer& container,
                     std::string& result);
    // The layer list JSON of the map service at url. True when result is not empty.
    bool getMapServiceLayers(const std::string& url, std::string& result);
    // The coordinate system JSON ({"wkid", "name", "wkt", "isProjection"}), or empty. An empty
    // name returns at once, leaving a prepared job in place.
    std::string getCoordinatesSystemInfo(int wkid);
    std::string getCoordinatesSystemInfo(const std::string& name);
    // The names of the geographic / projected coordinate systems the engine knows.
    void getGeographics(std::vector<std::string>& out);
    void getProjections(std::vector<std::string>& out);
    // One recommendation JSON text per extent of `input` (RecommendPCSInputMaker); `count` caps
    // the systems recommended for each extent.
    void getRecommendPCSs(std::vector<std::string>& out, const std::string& input);
    void getRecommendPCSs(std::vector<std::string>& out, const std::string& input, int count);

    // --- Parsers of the metadata replies (false for an empty text) ---
    static bool ParseMapServiceLayers(const std::string& json, std::vector<int>& ids,
                                      std::vector<std::string>& names);
    static bool ParseMapServiceLayers(const std::string& json, std::vector<LayerInfo>& layers);
    // An empty text gives type CSUnknown.
    static bool ParseCoordinatesSystemInfo(const std::string& json, int& wkid, std::string& name,
                                           std::string& wkt, CSTYPE& type);
    // False, leaving out untouched, unless the reply has exactly one key.
    static bool ParseRecommendPCS(const std::string& json, int& key,
                                  std::vector<RecommendPCS>& out);

  private:
    // The metadata service after ending a prepared job; engine exceptions pass.
    EmbeddedQE::QEMetaDataService* metadataService();

    std::unique_ptr<QERunImpl> _impl;
    int32_t savedWeight_ = -1;
    int32_t savedSplit_ = 0;
    std::unique_ptr<ParserMessage> parserMessage_;
    PnProcedure* procedure_;
    std::unique_ptr<QEProgressListener> progressListener_;
};
