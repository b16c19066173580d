#include "FreeTimeSearch.h"

#include <vespera/core/AppointmentStore.h>
#include <vespera/core/Preferences.h>
#include <vespera/core/Vespera.h>

#include <platform/DateTime.h>
#include <platform/DateTimeSpan.h>
#include <slotbook/TimeSlotStore.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

using Clock = std::chrono::steady_clock;

// Fills the store with `count` one-hour appointments; `perDay` of them a
// day, two hours apart from 9:00, starting on `first`.
void FillStore(CAppointmentStore& store, int count, int perDay, const CDateTime& first)
{
    CDateTime never;
    never.SetStatus(CDateTime::null);
    for (int i = 0; i < count; ++i) {
        const int hours = perDay >= 24 ? i : (i / perDay) * 24 + 9 + 2 * (i % perDay);
        const CDateTime start = first + CDateTimeSpan(0, hours, 0, 0);
        store.AddAppointment(i + 1, "Busy", "", "", "", "", start, start + CDateTimeSpan(0, 1, 0, 0), 60, 0,
                             0, 2, never, "outlook", false);
    }
}

// Microseconds per FindAlternates call from `start`, repeated for about a
// second; `found` is what one call returned.
double MicrosecondsPerSearch(CVespera& agent, const CDateTime& start, int& found)
{
    const CTimeConstraintSet none;
    int calls = 0;
    const auto begin = Clock::now();
    auto elapsed = Clock::duration::zero();
    do {
        found = agent.GetPreferences().FindAlternates(start, 60, 5, none)->GetCount();
        ++calls;
        elapsed = Clock::now() - begin;
    } while (calls < 5 || elapsed < std::chrono::seconds(1));
    return std::chrono::duration<double, std::micro>(elapsed).count() / calls;
}

} // namespace

int RunSearches()
{
    const CDateTime first(2030, 1, 1, 0, 0, 0);
    std::printf("\nFindAlternates, 5 alternatives of 60 minutes, 10,000 appointments in the store\n");
    {
        // Four appointments a day over almost seven years; the request is
        // busy and its five times lie between them.
        CVespera agent;
        agent.set_belief_dump_file(nullptr);
        FillStore(agent.GetAppointmentStore(), 10000, 4, first);
        int found = 0;
        const double us = MicrosecondsPerSearch(agent, first + CDateTimeSpan(1200, 9, 0, 0), found);
        std::printf("  spread, 4 a day:        %10.1f us per call (%d found)\n", us, found);
    }
    {
        // Back to back for 10,000 hours: the search runs its whole week.
        CVespera agent;
        agent.set_belief_dump_file(nullptr);
        FillStore(agent.GetAppointmentStore(), 10000, 24, first);
        int found = 0;
        const double us = MicrosecondsPerSearch(agent, first + CDateTimeSpan(200, 9, 0, 0), found);
        std::printf("  back to back, no room:  %10.1f us per call (%d found)\n", us, found);
    }
    return 0;
}
