// Cost of writing an import into the user's calendar: 2,000 new events
// saved to a file back-end one by one (a write of the calendar per event)
// beside the same saves in one batch (one write). The ratio is printed at
// the end of the run.

#include <outlook/FileBackend.h>
#include <outlook/SaveBatch.h>

#include "RatioReporter.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace {
constexpr int EventCount = 2000;

outlook::CStoredItem Appointment(int i)
{
    outlook::CAppointmentData data;
    data.subject = "Imported event " + std::to_string(i);
    data.start = CDateTime(2027, 1 + i % 12, 1 + i % 28, 8 + i % 9, 0, 0);
    data.duration = 45;
    return outlook::CStoredItem{"", data};
}

// Saves the events into an empty calendar of a fresh directory; false (and
// the run marked failed) when the back-end refused.
bool SaveAll(benchmark::State& state, bool batched)
{
    char pattern[] = "/tmp/import-write-bench-XXXXXX";
    if (!::mkdtemp(pattern)) {
        state.SkipWithError("no temporary directory");
        return false;
    }
    bool saved = true;
    {
        outlook::CFileBackend backend(pattern, nullptr);
        saved = backend.Start() && backend.Open();
        std::optional<outlook::CSaveBatch> batch;
        if (batched)
            batch.emplace(backend);
        for (int i = 0; saved && i < EventCount; ++i) {
            outlook::CStoredItem item = Appointment(i);
            saved = backend.AddItem(outlook::olFolderCalendar, item);
        }
        saved = saved && (!batch || batch->Commit());
        if (!saved)
            state.SkipWithError(backend.GetLastErrorText().c_str());
    }
    std::filesystem::remove_all(pattern);
    return saved;
}

void SavedOneByOne(benchmark::State& state)
{
    for (auto _ : state)
        if (!SaveAll(state, false))
            break;
}

void SavedInOneBatch(benchmark::State& state)
{
    for (auto _ : state)
        if (!SaveAll(state, true))
            break;
}

BENCHMARK(SavedOneByOne)->Unit(benchmark::kMillisecond);
BENCHMARK(SavedInOneBatch)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchsupport::RunAndPrintRatio(argc, argv, "SavedOneByOne", "SavedInOneBatch",
                                   "2,000 events saved one by one / in one batch");
}
