#pragma once

#include "web/DocumentBatch.h"
#include "web/HttpResponder.h"
#include "web/MediaLibrary.h"
#include "web/RouteTable.h"
#include "web/TransportPacer.h"
#include "web/WebAccess.h"
#include "web/WebResources.h"
#include "web/WebServices.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace orvelo {

class HttpServer;

// The web remote: a small HTTP server on TCP 8080 serving the remote's pages, the timecode
// font, the fixture downloads and a JSON API over the player's services. Requests are read
// and routed on the server's own threads; everything that touches the services runs on the
// main thread, and answers go back without the main thread ever waiting on the network. Each
// connection carries one request and one answer. Before any route, a request must come from
// this server's own pages or a script (never another site), name this machine, and, once the
// operator has set a password, belong to a session or carry a token; viewers only look.
class WebServer : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY isRunningChanged)
    Q_PROPERTY(QString serverURL READ serverURL NOTIFY serverURLChanged)
public:
    struct Options {
        // Listened on unless the operator chose one interface (then its address and loopback).
        std::string address = "0.0.0.0";
        std::uint16_t port = 8080; // 0 picks a free port (tests)
        // A client that has not sent its whole request by then is answered 408.
        std::chrono::milliseconds requestTimeout{5000};
        // Where the font and the "Fixtures" folder are looked up; empty: beside the program.
        QStringList resourceFolders;
        // Null: the process-wide instances.
        SettingsManager* settings = nullptr;
        VideoEffectsManager* effects = nullptr;
        WebRemoteSettings* remote = nullptr;
        TimecodeSettings* timecode = nullptr;
        SyncSettings* sync = nullptr;
        // Where saved playlists go; empty: the settings manager's playlists folder.
        QString playlistsFolder;
        // An upload is refused when it would leave less than this free on the disk.
        std::int64_t minimumFreeBytes = 1LL << 30;
        // An upload whose next bytes take longer than this is dropped and its file removed.
        std::chrono::milliseconds uploadStallTimeout{30000};
    };

    explicit WebServer(QObject* parent = nullptr);
    explicit WebServer(Options options, QObject* parent = nullptr);
    ~WebServer() override;

    // Keeps the services weakly and opens the listener. A server starts once; a listener
    // that cannot be opened is logged and not retried. The NDI service may be null (NDI off).
    void start(PlaybackEngine* playbackEngine, DMXController* dmxController, ProtocolManager* protocolManager,
               NDIControl* ndiService, ThemeManager* themeManager);
    // What chases incoming timecode, for the status; held weakly.
    void setTimecodeFollower(TimecodeFollower* follower) { services_.timecodeFollower = follower; }
    void setLtcSender(LtcSender* sender) { services_.ltcSender = sender; }
    void setSyncGroup(SyncGroup* group) { services_.syncGroup = group; }

    bool isRunning() const { return isRunning_; }
    // "http://localhost:" and the port, once listening.
    const QString& serverURL() const { return serverURL_; }
    // The port listened on (the chosen one when the options asked for 0); 0 before.
    std::uint16_t port() const;
    // Connections accepted and not yet finished.
    std::size_t connectionCount() const;

signals:
    void isRunningChanged(bool isRunning);
    void serverURLChanged();

private:
    void addRoutes();
    void addLibraryRoutes();
    void addAccessRoutes();
    void listen();
    std::vector<std::string> listenAddresses();
    // Refuses what may not reach a route (foreign site, unknown host, no session, a viewer
    // changing something) and records the sender's role on the request.
    std::optional<HttpResponse> admit(HttpRequest& request);
    // The answer for a transport command that came too soon after the last; nothing when it may
    // run (and it counts as the last from now on).
    std::optional<HttpResponse> tooSoon(const std::string& command);
    void updateAccessRules();
    void updateAllowedNames();
    std::set<std::string, std::less<>> allowedNames() const;
    // "http://" and the host the client used, for links it is to open.
    std::string ownOrigin(const HttpRequest& request) const;
    void addPostRoute(std::string_view path, std::function<RouteOutcome(const QJsonObject& body)> action);
    void addDocumentRoute(std::string_view path, std::function<HttpResponse()> build);
    void handleRequest(std::string raw, const std::string& peer, const HttpResponder& responder);
    void setIsRunning(bool running);
    void setServerURL(const QString& url);

    Options options_;
    WebServices services_;
    WebResources resources_;
    RouteTable routes_;
    // One per API document route: requests that wait for the main thread together share a build.
    std::map<const RouteTable::Route*, std::unique_ptr<DocumentBatch>> batches_;
    // Actions queued to the main thread so far; a document read after an action waits for it.
    std::atomic<std::uint64_t> actionsQueued_{0};
    // The library's folder follows the settings; the upload limit is read on server threads.
    std::unique_ptr<MediaLibrary> library_;
    std::atomic<std::int64_t> uploadSizeLimit_{0};
    QString playlistsFolder_;
    WebAccess access_;
    TransportPacer pacer_;
    std::atomic<double> transportMinInterval_{0.5};
    mutable std::mutex namesMutex_;
    std::set<std::string, std::less<>> allowedNames_;
    // Waits for a chosen interface that has no address yet (a cable plugged in late).
    QTimer interfaceRetry_;
    // Counts changes of the media folder, so that pages refresh their library when it moves.
    QFileSystemWatcher libraryWatcher_;
    std::uint64_t libraryRevision_ = 0;
    std::unique_ptr<HttpServer> http_;
    bool isRunning_ = false;
    QString serverURL_;
};

} // namespace orvelo
