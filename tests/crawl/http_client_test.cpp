#include "crawl/http_client.h"

#include "support/http_test_server.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>

#include <vector>

namespace {

// Everything a client reports, in order, as short words.
struct TEvents {
    std::vector<QString> terminal;
    QStringList statuses;
    int headers = 0;
    int progress = 0;
    qint64 lastBytes = 0;
    qint64 doneSize = -1;
    int httpCode = 0;
    bool refuseBody = false;

    explicit TEvents(THttpClient& client)
    {
        QObject::connect(&client, &THttpClient::StatusChanged, [this](const QString& t) { statuses << t; });
        QObject::connect(&client, &THttpClient::HeaderInfo, [this](const QString&, qint64, bool* go) {
            ++headers;
            if (refuseBody)
                *go = false;
        });
        QObject::connect(&client, &THttpClient::Progress, [this](const THttpClient::TProgress& p, const QByteArray& body) {
            ++progress;
            // the body comes in blocks of at most 4 KiB, each report holding all so far
            EXPECT_LE(p.bytesRead - lastBytes, THttpClient::kBlockSize);
            lastBytes = p.bytesRead;
            EXPECT_EQ(p.bytesRead, body.size());
        });
        QObject::connect(&client, &THttpClient::Done, [this](const QString&, qint64 size, const QByteArray&) {
            doneSize = size;
            terminal.push_back("Done");
        });
        QObject::connect(&client, &THttpClient::HTTPError, [this](int code) {
            httpCode = code;
            terminal.push_back("HTTPError");
        });
        QObject::connect(&client, &THttpClient::HostUnreachable, [this] { terminal.push_back("HostUnreachable"); });
        QObject::connect(&client, &THttpClient::ConnLost, [this] { terminal.push_back("ConnLost"); });
        QObject::connect(&client, &THttpClient::DoneInterrupted, [this] { terminal.push_back("DoneInterrupted"); });
        QObject::connect(&client, &THttpClient::RedirectRefused, [this] { terminal.push_back("RedirectRefused"); });
        QObject::connect(&client, &THttpClient::Aborted, [this] { terminal.push_back("Aborted"); });
    }
};

void RunEventsFor(int ms)
{
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Runs the event loop a little longer after the first terminal event, so that a
// second one would be seen.
void WaitForTheEnd(const TEvents& events)
{
    ASSERT_TRUE(THttpTestServer::WaitUntil([&] { return !events.terminal.empty(); }, 15000));
    RunEventsFor(150);
}

struct TShapeCase {
    const char* name;
    THttpTestResponse response;
    const char* terminal;
};

TEST(HttpClient, EveryTransferEndsWithExactlyOneTerminalEvent)
{
    THttpTestServer server;
    const QByteArray body(10000, 'b');
    auto shaped = [&](THttpBodyShape shape) {
        THttpTestResponse r = THttpTestResponse::Html(body);
        r.shape = shape;
        return r;
    };
    THttpTestResponse drip = THttpTestResponse::Html(body);
    drip.dripBytes = 2000;
    drip.dripIntervalMs = 10;
    const std::vector<TShapeCase> cases = {
        {"length", shaped(THttpBodyShape::Length), "Done"},
        {"no length", shaped(THttpBodyShape::NoLength), "Done"},
        {"chunked", shaped(THttpBodyShape::Chunked), "Done"},
        {"false small", shaped(THttpBodyShape::LengthTooSmall), "Done"},
        {"false large", shaped(THttpBodyShape::LengthTooLarge), "ConnLost"},
        {"cut off", shaped(THttpBodyShape::CutOff), "ConnLost"},
        {"drip", drip, "Done"},
        {"not found", THttpTestResponse::Status(404, "no"), "HTTPError"},
        {"no content", THttpTestResponse::Status(204), "HTTPError"},
        {"redirect without location", THttpTestResponse::Status(300, "choose"), "HTTPError"},
        {"server error", THttpTestResponse::Status(503, "later"), "HTTPError"},
        {"redirect to ftp", THttpTestResponse::Redirect(302, "ftp://127.0.0.1/x"), "RedirectRefused"},
    };
    for (const TShapeCase& c : cases) {
        server.SetRoute("/x", c.response);
        THttpClient client;
        TEvents events(client);
        client.SetAddress(server.Url("/x"));
        client.Start();
        WaitForTheEnd(events);
        EXPECT_EQ(events.terminal, std::vector<QString>{c.terminal}) << c.name;
        EXPECT_FALSE(client.Busy()) << c.name;
        if (QString(c.terminal) == "Done")
            EXPECT_GT(events.doneSize, 0) << c.name;
    }
    THttpClient nobody;
    TEvents events(nobody);
    nobody.SetAddress(QStringLiteral("http://127.0.0.1:%1/").arg(THttpTestServer::UnusedPort()));
    nobody.Start();
    WaitForTheEnd(events);
    EXPECT_EQ(events.terminal, std::vector<QString>{"HostUnreachable"});
}

TEST(HttpClient, StatusTextsNameTheStageAndTheAddressAfterRedirects)
{
    THttpTestServer server;
    server.SetRoute("/a", THttpTestResponse::Redirect(302, "/b"));
    server.SetRoute("/b", THttpTestResponse::Redirect(301, "/c"));
    server.SetRoute("/c", THttpTestResponse::Redirect(307, "/d"));
    server.SetRoute("/d", THttpTestResponse::Html("here"));
    THttpClient client;
    TEvents events(client);
    client.SetAddress(server.Url("/a"));
    client.Start();
    WaitForTheEnd(events);
    ASSERT_EQ(events.terminal, std::vector<QString>{"Done"});
    const QString a = server.Url("/a");
    const QString d = server.Url("/d");
    EXPECT_EQ(events.statuses.first(), "Sending Request  " + a);
    EXPECT_TRUE(events.statuses.contains("Status redirect  " + server.Url("/b")));
    EXPECT_TRUE(events.statuses.contains("Status redirect  " + d));
    EXPECT_TRUE(events.statuses.contains("Response received  " + d));
    EXPECT_EQ(events.statuses.last(), "Request complete  " + d);
    EXPECT_EQ(client.CurrentAddress(), d);

    // a loop is followed only so far
    server.SetRoute("/loop1", THttpTestResponse::Redirect(302, "/loop2"));
    server.SetRoute("/loop2", THttpTestResponse::Redirect(302, "/loop1"));
    THttpClient looping;
    TEvents loopEvents(looping);
    looping.SetAddress(server.Url("/loop1"));
    looping.Start();
    WaitForTheEnd(loopEvents);
    EXPECT_EQ(loopEvents.terminal, std::vector<QString>{"RedirectRefused"});
    EXPECT_LE(loopEvents.statuses.filter(QRegularExpression("^Status redirect")).size(), THttpClient::kMaxRedirects);
}

TEST(HttpClient, AbortReportsBeforeItReturnsAndNothingAfter)
{
    THttpTestServer server;
    THttpTestResponse drip = THttpTestResponse::Html(QByteArray(100000, 'd'));
    drip.dripBytes = 100;
    drip.dripIntervalMs = 10;
    server.SetRoute("/drip", drip);
    THttpClient client;
    TEvents events(client);
    client.SetAddress(server.Url("/drip"));
    client.Start();
    ASSERT_TRUE(THttpTestServer::WaitUntil([&] { return events.progress > 2; }));
    client.Abort();
    EXPECT_EQ(events.terminal, std::vector<QString>{"Aborted"});
    const int progress = events.progress;
    RunEventsFor(200);
    EXPECT_EQ(events.terminal, std::vector<QString>{"Aborted"});
    EXPECT_EQ(events.progress, progress);
    EXPECT_FALSE(client.Busy());
    client.Abort();  // nothing running: nothing reported
    EXPECT_EQ(events.terminal.size(), 1u);
}

TEST(HttpClient, RefusedBodiesEndAtTheHeadersAndTheNextStartIsANewTransfer)
{
    THttpTestServer server;
    THttpTestResponse slow = THttpTestResponse::Content("image/jpeg", QByteArray(200000, 'j'));
    slow.throttleBytesPerSecond = 100000;
    server.SetRoute("/big.jpg", slow);
    server.SetRoute("/page.html", THttpTestResponse::Html("next"));
    THttpClient client;
    TEvents events(client);
    events.refuseBody = true;
    client.SetAddress(server.Url("/big.jpg"));
    client.Start();
    WaitForTheEnd(events);
    EXPECT_EQ(events.terminal, std::vector<QString>{"DoneInterrupted"});
    EXPECT_EQ(events.progress, 0) << "nothing of the body is handed on";

    // a start while a transfer runs drops it without a word and fetches the new address
    events.refuseBody = false;
    events.terminal.clear();
    client.SetAddress(server.Url("/big.jpg"));
    client.Start();
    ASSERT_TRUE(server.WaitForRequests("/big.jpg", 2));
    client.SetAddress(server.Url("/page.html"));
    client.Start();
    WaitForTheEnd(events);
    EXPECT_EQ(events.terminal, std::vector<QString>{"Done"});
    EXPECT_EQ(events.doneSize, 4);
}

TEST(HttpClient, WaitingFormReturnsTheWholeAnswer)
{
    THttpTestServer server;
    server.SetRoute("/index.php", THttpTestResponse::Html("saved"));
    server.SetRoute("/moved.php", THttpTestResponse::Redirect(302, "/index.php"));
    THttpClient client;
    const THttpClient::TResult ok = client.Get(server.Url("/moved.php"));
    EXPECT_EQ(ok.status, 200);
    EXPECT_EQ(ok.body, "saved");
    EXPECT_TRUE(ok.error.isEmpty());
    const THttpClient::TResult missing = client.Get(server.Url("/none.php"));
    EXPECT_EQ(missing.status, 404);
    EXPECT_FALSE(missing.error.isEmpty());
    THttpTestResponse stall = THttpTestResponse::Html("x");
    stall.shape = THttpBodyShape::StallBeforeHeaders;
    server.SetRoute("/stall.php", stall);
    const THttpClient::TResult late = client.Get(server.Url("/stall.php"), 300);
    EXPECT_EQ(late.status, 0);
    EXPECT_FALSE(late.error.isEmpty());
}

} // namespace
