// Looking a record up by its FileID in a list of 200,000 lines, against the
// straightforward scan from the first line, in the same run.
#include "bench/project_fixture.h"

#include "settings/options_list.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

struct TFixture {
    TProject project;
    std::vector<std::string> names;
    std::vector<std::string> values;
    TFixture()
    {
        FillCrawledProject(project, 200000, 0, 7);
        TOptionsList& docs = *project.Documents();
        for (int i = 0; i < docs.Count(); ++i) {
            names.emplace_back(docs.GetName(i));
            values.emplace_back(LineValue(docs.Get(i)));
        }
    }
};

TFixture& Fixture()
{
    static TFixture fixture;
    return fixture;
}

void BM_GetString(benchmark::State& state)
{
    TFixture& f = Fixture();
    std::mt19937 random(1);
    for (auto _ : state) {
        const std::string& name = f.names[random() % f.names.size()];
        benchmark::DoNotOptimize(GetString(*f.project.Documents(), name));
    }
}
BENCHMARK(BM_GetString);

void BM_SetString(benchmark::State& state)
{
    TFixture& f = Fixture();
    std::mt19937 random(2);
    for (auto _ : state) {
        const std::size_t i = random() % f.names.size();
        SetString(*f.project.Documents(), f.names[i], f.values[i]);
    }
}
BENCHMARK(BM_SetString);

// The scan a plain string list does: compare each line's name from the start.
void BM_LinearScanBaseline(benchmark::State& state)
{
    TFixture& f = Fixture();
    const TOptionsList& docs = *f.project.Documents();
    std::mt19937 random(3);
    for (auto _ : state) {
        const std::string& name = f.names[random() % f.names.size()];
        int found = -1;
        for (int i = 0; i < docs.Count() && found < 0; ++i)
            if (docs.NamesEqual(LineName(docs.Get(i)), name))
                found = i;
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_LinearScanBaseline);

} // namespace

BENCHMARK_MAIN();
