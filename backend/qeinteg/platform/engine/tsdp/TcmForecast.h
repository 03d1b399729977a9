// Fit and forecast of series from the models of a temporal causal model archive. A target's
// forecast takes its inputs' forecasts for the periods not observed; a series that is only an
// input is carried forward by its autoregressive model.
#pragma once

#include <cstddef>
#include <vector>

#include "qeinteg/platform/engine/tsdp/TcmArchive.h"

namespace qelocal {

class TcmForecast final {
  public:
    // Prepares scoring of `requested` (archive series indexes): the series their models need,
    // directly or through their inputs' models, are collected. Throws EngineError naming a needed
    // series that has no fitted model.
    TcmForecast(const TcmArchive& archive, const std::vector<size_t>& requested);

    // Every series whose observed values the scoring reads, ascending.
    const std::vector<size_t>& needed() const { return needed_; }

    struct Scores {
        std::vector<double> fitted;    // per observed period; NaN where a lag is not observed
        std::vector<double> forecast;  // per period after the last observed one
    };
    // `history[s]` holds the observed values of archive series s over `periods` periods (NaN for
    // missing) for every needed series; other entries are not read. Returns the scores of the
    // requested series in request order. A missing value makes every value computed from it
    // missing.
    std::vector<Scores> score(const std::vector<std::vector<double>>& history, size_t periods,
                              size_t span, bool fit) const;

  private:
    const TcmArchive& archive_;
    std::vector<size_t> requested_;
    std::vector<size_t> needed_;
};

}  // namespace qelocal
