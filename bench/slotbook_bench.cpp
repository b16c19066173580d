// Cost of the two questions every bid rests on: is the user free, and does an
// appointment fall on a date.

#include <slotbook/Appointment.h>
#include <slotbook/RecurrenceData.h>

#include <benchmark/benchmark.h>

#include <vector>

namespace {
struct Date {
    int day, month, year;
};

std::vector<Date> OneYear()
{
    std::vector<Date> dates;
    const CDateTime first(2003, 1, 1, 0, 0, 0);
    for (int i = 0; i < 365; ++i) {
        const CDateTime date = first + CDateTimeSpan(i, 0, 0, 0);
        dates.push_back({date.GetDay(), date.GetMonth(), date.GetYear()});
    }
    return dates;
}

std::vector<CDateTime> HalfHoursOfAYear()
{
    std::vector<CDateTime> times;
    const CDateTime first(2003, 1, 1, 0, 0, 0);
    for (int i = 0; i < 365 * 48; ++i)
        times.push_back(first + CDateTimeSpan(0, 0, 30 * i, 0));
    return times;
}

CRecurrenceData PatternOfType(int type)
{
    CRecurrenceData pattern(type);
    pattern.SetStartDate(2002, 3, 15);
    pattern.SetInterval(type == 0 ? 3 : 1);
    pattern.SetDayOfMonth(15);
    pattern.SetInstance(type == 3 ? 5 : 2);
    pattern.SetDays(type == 0 ? 0u : (type == 1 ? 2u | 8u : 62u));
    pattern.SetStartTime(10, 0, 0);
    pattern.SetEndTime(11, 0, 0);
    return pattern;
}

void OccursOn(benchmark::State& state)
{
    const CRecurrenceData pattern = PatternOfType(static_cast<int>(state.range(0)));
    const std::vector<Date> dates = OneYear();
    std::size_t next = 0;
    for (auto _ : state) {
        const Date& date = dates[next];
        benchmark::DoNotOptimize(pattern.OccursOn(date.day, date.month, date.year));
        next = next + 1 == dates.size() ? 0 : next + 1;
    }
}

void IsFreeSingle(benchmark::State& state)
{
    const CAppointment appointment(1, "Review", "", "", "", "", CDateTime(2003, 6, 2, 10, 0, 0),
                                   CDateTime(2003, 6, 2, 11, 0, 0), 60, 0, 0, 2, CDateTime(), "");
    const std::vector<CDateTime> times = HalfHoursOfAYear();
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(appointment.IsFree(times[next], 60));
        next = next + 1 == times.size() ? 0 : next + 1;
    }
}

void IsFreeRecurring(benchmark::State& state)
{
    const CAppointment appointment(1, "Standup", "", "", "", "", CDateTime(2003, 1, 6, 10, 0, 0),
                                   CDateTime(2003, 1, 6, 11, 0, 0), 60, 0, 0, 2, CDateTime(), "", 1, 1, 0, 0,
                                   CDateTime(2003, 1, 6, 10, 0, 0), CDateTime(2003, 1, 6, 11, 0, 0), 0,
                                   2 | 8);
    const std::vector<CDateTime> times = HalfHoursOfAYear();
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(appointment.IsFree(times[next], 60));
        next = next + 1 == times.size() ? 0 : next + 1;
    }
}
} // namespace

BENCHMARK(OccursOn)->ArgName("type")->DenseRange(0, 6);
BENCHMARK(IsFreeSingle);
BENCHMARK(IsFreeRecurring);
