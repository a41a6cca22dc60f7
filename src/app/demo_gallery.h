#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

class QTcpServer;
class QTcpSocket;

// A small gallery site served by the program itself on 127.0.0.1: a catalogue
// page and galleries whose pictures are JPEGs drawn at start, most within the
// default bounds and some too small in pixels, too small or too big in bytes,
// plus a GIF, a PNG, a broken link and a redirect.
class TDemoGallery final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TDemoGallery)

public:
    TDemoGallery();
    ~TDemoGallery() override;

    // Listens on the preferred port when it is free, else on any free port.
    bool Listen(quint16 preferredPort = 0);
    quint16 Port() const;
    QString Url(const QString& path = QStringLiteral("/")) const;

    struct TPage {
        int status = 200;
        QByteArray contentType;
        QByteArray body;
        QByteArray location;
    };
    const QHash<QString, TPage>& Pages() const { return m_pages; }
    // Pictures of the site that a crawl with the default bounds keeps.
    int KeptPictures() const { return m_kept; }

private:
    void Build();
    void OnConnection();
    void Serve(QTcpSocket* socket);

    QTcpServer* m_server = nullptr;
    QHash<QString, TPage> m_pages;
    int m_kept = 0;
};

// Serves the demo site and crawls it into the project "Demo Gallery" (made, or
// reused when it was made before); returns the exit status.
int RunDemo(bool eager);
