#pragma once

#include <optional>

// The fixed pauses of the agent's start-up, which give the user time to read
// the progress window. The environment variable ORVANTE_STARTUP_PAUSE_MS
// caps every pause (0 skips them), so that tests and benchmarks start agents
// at once; without it, or when it holds no plain decimal number, every pause
// lasts as long as asked.
//
// A pause blocks the thread. Start-up runs before the agent listens, so no
// socket of the agent waits meanwhile.
class CStartupPause {
public:
    static constexpr const char* LimitVariable = "ORVANTE_STARTUP_PAUSE_MS";

    // The limit the environment sets now.
    CStartupPause();
    // No limit for nullopt.
    explicit CStartupPause(std::optional<unsigned> limitMs);

    // The limit a text sets: decimal digits only, capped at the largest
    // unsigned; nullopt for null, empty or anything else.
    static std::optional<unsigned> ParseLimit(const char* text);

    std::optional<unsigned> GetLimit() const { return m_limitMs; }
    // How long a pause of `ms` lasts under the limit.
    unsigned Length(unsigned ms) const;
    // Blocks for Length(ms) milliseconds.
    void Wait(unsigned ms) const;

private:
    std::optional<unsigned> m_limitMs;
};
