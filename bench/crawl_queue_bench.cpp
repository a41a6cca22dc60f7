// The crawl queue on a catalogue-sized project (1,000,000 documents and
// 1,000,000 pictures, most finished, the waiting ones scattered), against the
// straightforward scans and inserts on one flat array of lines, in the same run.
//
// Each Next* iteration hands out the first waiting record and stores it back as
// finished, as a crawl does, so the first waiting line moves ever deeper.
#include "bench/project_fixture.h"

#include "project/file_record.h"
#include "project/project.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <vector>

namespace {

constexpr int kRecords = 1000000;

// Most records finished, one in ten still waiting, scattered over the list.
void Scatter(TOptionsList& list, bool pictures, unsigned seed)
{
    std::mt19937 random(seed);
    for (int i = 0; i < list.Count(); ++i) {
        TFileRecord r;
        r.FromText(list.Get(i));
        const unsigned roll = random() % 10;
        r.Status = roll == 0 ? (random() % 4 == 0 ? "flsDeferred" : "flsInitial") : (roll < 8 ? "flsSucceed" : "flsFailed");
        r.IsPicture = pictures;
        list.Put(i, r.ToLine());
    }
}

struct TQueues {
    TProject project;
    // the same lines in flat arrays, for the straightforward scans
    std::vector<std::string> flatDocs;
    std::vector<std::string> flatPics;
    std::vector<std::string> flatLinks;
    std::vector<std::string> ids;
    int galleries = 0;

    TQueues()
    {
        FillCrawledProject(project, kRecords, kRecords, 11);
        Scatter(*project.Documents(), false, 1);
        Scatter(*project.Pictures(), true, 2);
        for (int i = 0; i < project.Documents()->Count(); ++i) {
            flatDocs.emplace_back(project.Documents()->Get(i));
            ids.emplace_back(project.Documents()->GetName(i));
        }
        for (int i = 0; i < project.Pictures()->Count(); ++i)
            flatPics.emplace_back(project.Pictures()->Get(i));
        for (int i = 0; i < project.Links()->Count(); ++i)
            flatLinks.emplace_back(project.Links()->Get(i));
        SetInteger(project.Options(), "LastInsertedLinkIndex", 10);
        TFileRecord warm;
        project.NextDocument(warm);  // tags every line once, as the first tick of a crawl does
        project.NextPicture(warm);
    }
};

TQueues& Queues()
{
    static TQueues queues;
    return queues;
}

template <class F>
double Seconds(F&& f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_NextDocument(benchmark::State& state)
{
    TProject& project = Queues().project;
    TFileRecord r;
    for (auto _ : state) {
        state.SetIterationTime(Seconds([&] { project.NextDocument(r); }));
        r.Status = "flsSucceed";
        project.StoreRecord(r);
    }
}
BENCHMARK(BM_NextDocument)->UseManualTime()->Iterations(20000);

void BM_NextPicture(benchmark::State& state)
{
    TProject& project = Queues().project;
    TFileRecord r;
    for (auto _ : state) {
        state.SetIterationTime(Seconds([&] { project.NextPicture(r); }));
        r.Status = "flsSucceed";
        project.StoreRecord(r);
    }
}
BENCHMARK(BM_NextPicture)->UseManualTime()->Iterations(20000);

void BM_StoreRecord(benchmark::State& state)
{
    TQueues& q = Queues();
    std::mt19937 random(5);
    TFileRecord r;
    for (auto _ : state) {
        state.PauseTiming();
        r.FromText(GetString(*q.project.Documents(), q.ids[random() % q.ids.size()]));
        r.Attempts += 1;
        state.ResumeTiming();
        q.project.StoreRecord(r);
    }
}
BENCHMARK(BM_StoreRecord)->Iterations(200000);

std::vector<std::string> GalleryLinks(int& counter)
{
    std::vector<std::string> links;
    for (int i = 0; i < 100; ++i)
        links.push_back("http://www.newsite.com/gallery/" + std::to_string(counter++) + "/");
    return links;
}

void BM_AddLinks100Galleries(benchmark::State& state)
{
    TQueues& q = Queues();
    for (auto _ : state) {
        state.PauseTiming();
        const std::vector<std::string> links = GalleryLinks(q.galleries);
        state.ResumeTiming();
        q.project.AddLinks(links, "http://www.newsite.com/");
    }
}
BENCHMARK(BM_AddLinks100Galleries)->Iterations(200)->Unit(benchmark::kMicrosecond);

// ---- the straightforward way: one flat array, scanned from the first line ----

bool FlatNext(std::vector<std::string>& list, std::uint8_t mask, TFileRecord& r)
{
    for (std::string& line : list)
        if (RecordStateTag(line) & mask) {
            TFileRecord scratch;
            if (scratch.FromText(line)) {
                r.Assign(scratch);
                return true;
            }
        }
    return false;
}

void FlatStore(std::vector<std::string>& list, TFileRecord& r)
{
    const std::string prefix = r.FileID + "=";
    for (std::string& line : list)
        if (line.compare(0, prefix.size(), prefix) == 0) {
            line = prefix + r.ToText();
            return;
        }
    list.push_back(prefix + r.ToText());
}

void BM_FlatNextDocument(benchmark::State& state)
{
    TQueues& q = Queues();
    // start where the project's queue stands after its own run: the first 20,000
    // waiting documents handed out and finished
    int consumed = 0;
    for (std::string& line : q.flatDocs) {
        if (consumed == 20000)
            break;
        if (RecordStateTag(line) & (tagInitial | tagDeferred)) {
            TFileRecord done;
            done.FromText(line);
            done.Status = "flsSucceed";
            line = done.ToLine();
            ++consumed;
        }
    }
    TFileRecord r;
    for (auto _ : state) {
        state.SetIterationTime(Seconds([&] { FlatNext(q.flatDocs, tagInitial | tagDeferred, r); }));
        r.Status = "flsSucceed";
        FlatStore(q.flatDocs, r);
    }
}
BENCHMARK(BM_FlatNextDocument)->UseManualTime()->Iterations(200)->Unit(benchmark::kMicrosecond);

void BM_FlatStoreRecord(benchmark::State& state)
{
    TQueues& q = Queues();
    std::mt19937 random(6);
    TFileRecord r;
    for (auto _ : state) {
        state.PauseTiming();
        r.FromText(q.flatDocs[random() % q.flatDocs.size()]);
        state.ResumeTiming();
        FlatStore(q.flatDocs, r);
    }
}
BENCHMARK(BM_FlatStoreRecord)->Iterations(200)->Unit(benchmark::kMicrosecond);

void BM_FlatAddLinks100Galleries(benchmark::State& state)
{
    TQueues& q = Queues();
    int counter = 1 << 24;
    int insertAt = 10;
    for (auto _ : state) {
        state.PauseTiming();
        const std::vector<std::string> links = GalleryLinks(counter);
        state.ResumeTiming();
        for (const std::string& link : links) {
            const auto known = std::lower_bound(q.flatLinks.begin(), q.flatLinks.end(), link);
            if (known != q.flatLinks.end() && *known == link)
                continue;
            q.flatLinks.insert(known, link);
            TFileRecord r;
            r.Link = r.URL = link;
            r.Origin = "None";
            q.flatDocs.insert(q.flatDocs.begin() + ++insertAt, r.ToLine());
        }
    }
}
BENCHMARK(BM_FlatAddLinks100Galleries)->Iterations(20)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
