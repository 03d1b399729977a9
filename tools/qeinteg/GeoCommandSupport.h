// What the geo subcommands share: the engine session they query through, and the reason the
// engine gave for an empty answer.
#pragma once

#include <string>

// Starts the Java VM for a command and shuts the engine service down when it ends.
class GeoCommandSession {
  public:
    GeoCommandSession();
    ~GeoCommandSession();
    GeoCommandSession(const GeoCommandSession&) = delete;
    GeoCommandSession& operator=(const GeoCommandSession&) = delete;

    // False (with a line on stderr) when the Java VM could not start.
    bool started() const { return started_; }

  private:
    bool started_;
};

// The last reason the engine recorded for an empty answer of `operation`, or `fallback`.
std::string EngineReason(const std::string& operation, const std::string& fallback);
