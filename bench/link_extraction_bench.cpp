// Link extraction on a gallery page of 150 KB with 300 links: the whole of
// ExtractLinks, the scanner alone (values handed to a sink that does nothing),
// and, as the baseline, a plain loop that counts the "=" and double quotes of the
// same text. The ratios against the baseline are printed at the end of the run.
#include "crawl/link_extraction.h"
#include "crawl/link_scanner.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

const char* const kBase = "http://www.example-photos.com/galleries/summer-2003/index.html";

// Anchors and img tags (relative, absolute, parent folders), a script with quoted
// addresses, style, table markup full of attributes, and paragraphs of text.
std::string MakeGalleryPage()
{
    std::mt19937 random(20031);
    const std::vector<std::string> words = {"the", "summer", "light", "over", "harbour", "photo", "taken", "with", "a",
        "wide", "lens", "evening", "boats", "quiet", "water", "gallery", "page", "colours", "morning", "street"};
    auto sentence = [&](int count) {
        std::string s;
        for (int i = 0; i < count; ++i) {
            s += words[random() % words.size()];
            s += i + 1 < count ? " " : ". ";
        }
        return s;
    };
    std::string page;
    page.reserve(160 * 1024);
    page += "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n<html><head>\n"
            "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">\n"
            "<title>Summer 2003 - photo gallery</title>\n<link rel=\"stylesheet\" href=\"../../css/site.css\">\n"
            "<style type=\"text/css\">td.thumb { padding: 4px; border: 1px solid #ccc; } a:hover { color: #f60; }</style>\n"
            "<script language=\"JavaScript\">\nvar pics = new Array();\nvar next = \"http://www.example-photos.com/galleries/autumn-2003/\";\n"
            "function popup(u) { var w = window.open(u, \"pic\", \"width=640,height=480,scrollbars=no\"); w.focus(); }\n"
            "var counter = 'www.counter-service.net/c.gif?id=81234';\n</script>\n</head>\n"
            "<body bgcolor=\"#ffffff\" text=\"#333333\" link=\"#0000cc\" vlink=\"#551a8b\">\n"
            "<table width=\"100%\" border=\"0\" cellpadding=\"0\" cellspacing=\"0\"><tr>"
            "<td><a href=\"/\"><img src=\"/img/logo.gif\" width=\"200\" height=\"60\" border=\"0\" alt=\"Example Photos\"></a></td></tr></table>\n";
    int links = 5;  // the style sheet, the script's two addresses, the logo's anchor and image
    int photo = 1;
    while (links < 300) {
        page += "<table class=\"row\" width=\"100%\" border=\"0\"><tr>\n";
        for (int col = 0; col < 4 && links < 300; ++col, ++photo) {
            char entry[512];
            std::snprintf(entry, sizeof entry,
                "<td class=\"thumb\" align=\"center\" valign=\"top\"><a href=\"pics/photo_%04d.html\" "
                "onmouseover=\"window.status='Photo %d'; return true\"><img src=\"thumbs/t_%04d.jpg\" width=\"120\" "
                "height=\"90\" border=\"0\" alt=\"Photo %d\"></a><br><font size=\"1\">%s</font></td>\n",
                photo, photo, photo, photo, sentence(6).c_str());
            page += entry;
            links += 2;
        }
        page += "</tr></table>\n<p>" + sentence(40) + sentence(30) + "</p>\n";
        if (photo % 12 == 1 && links < 299) {
            char more[512];
            std::snprintf(more, sizeof more,
                "<p>See also <a href=\"http://www.other-gallery.org/members/%d/index.html\" target=\"_blank\">gallery %d</a> "
                "and <A HREF=\"../winter-200%d/page%d.html\">last winter</A>.</p>\n",
                photo, photo, photo % 3, photo);
            page += more;
            links += 2;
        }
    }
    page += "<p align=\"center\"><a href=\"index2.html\">Next page</a> | <a href=\"../index.html\">All galleries</a></p>\n";
    while (page.size() < 150 * 1024)
        page += "<p>" + sentence(50) + "</p>\n";
    page += "</body></html>\n";
    return page;
}

const std::string& Page()
{
    static const std::string page = MakeGalleryPage();
    return page;
}

void BM_ExtractLinks(benchmark::State& state)
{
    const std::string& page = Page();
    std::vector<std::string> links;
    for (auto _ : state) {
        ExtractLinks(page, links, kBase);
        benchmark::DoNotOptimize(links.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
    state.counters["links"] = static_cast<double>(links.size());
}

void BM_ScanOnly(benchmark::State& state)
{
    const std::string& page = Page();
    std::size_t values = 0;
    for (auto _ : state) {
        values = 0;
        ScanLinkValues(page, [&](std::string_view value) { values += !value.empty(); });
        benchmark::DoNotOptimize(values);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
    state.counters["values"] = static_cast<double>(values);
}

// The baseline: test every byte for "=" or a double quote and count the hits.
void BM_EqualsOrQuoteLoop(benchmark::State& state)
{
    const std::string& page = Page();
    std::size_t hits = 0;
    for (auto _ : state) {
        hits = 0;
        for (const char c : page)
            if (c == '=' || c == '"')
                ++hits;
        benchmark::DoNotOptimize(hits);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
    state.counters["hits"] = static_cast<double>(hits);
}

BENCHMARK(BM_ExtractLinks)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ScanOnly)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_EqualsOrQuoteLoop)->Repetitions(5)->ReportAggregatesOnly(true);

// Prints the console table, then the median rates and their ratios to the baseline.
class TRatioReporter final : public benchmark::ConsoleReporter {
public:
    TRatioReporter() : ConsoleReporter(OO_None) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            const auto rate = run.counters.find("bytes_per_second");
            if ((median || run.run_type == Run::RT_Iteration) && rate != run.counters.end())
                m_rates[run.run_name.function_name] = rate->second.value;
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        const double baseline = m_rates["BM_EqualsOrQuoteLoop"];
        if (baseline <= 0)
            return;
        std::printf("\n%-22s %10s %12s\n", "median", "MB/s", "vs baseline");
        for (const char* name : {"BM_ExtractLinks", "BM_ScanOnly", "BM_EqualsOrQuoteLoop"})
            std::printf("%-22s %10.1f %12.3f\n", name, m_rates[name] / 1e6, m_rates[name] / baseline);
        std::printf("page %zu bytes\n", Page().size());
    }

private:
    std::map<std::string, double> m_rates;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
