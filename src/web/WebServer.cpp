#include "web/WebServer.h"

#include "net/NetworkManager.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "platform/Secrets.h"
#include "web/FixtureProfile.h"
#include "web/HttpRequestFramer.h"
#include "web/HttpServer.h"
#include "web/MediaPath.h"
#include "web/QrSvg.h"
#include "web/RemoteURLs.h"
#include "web/RequestGuard.h"
#include "web/SettingsValidator.h"
#include "web/UrlText.h"
#include "web/WebActions.h"
#include "web/WebDocuments.h"
#include "web/WebJson.h"
#include "web/WebLibrary.h"
#include "web/WebPages.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <unistd.h>

#include <climits>
#include <cmath>
#include <limits>
#include <variant>

namespace orvelo {

namespace {

using Context = RouteTable::Context;

RouteOutcome answer(HttpResponse response, std::function<void()> action = {})
{
    return {std::move(response), std::move(action), {}};
}

RouteOutcome onMainThread(std::function<HttpResponse()> build)
{
    RouteOutcome outcome;
    outcome.mainThreadAnswer = std::move(build);
    return outcome;
}

HttpResponse page(std::string_view html)
{
    return HttpResponse::text(200, "text/html", std::string(html));
}

HttpResponse internalError()
{
    return HttpResponse::plainText(500, "Internal Error");
}

HttpResponse invalidJson()
{
    return HttpResponse::plainText(400, "Invalid JSON");
}

HttpResponse document(const std::optional<QJsonDocument>& json)
{
    if (!json)
        return internalError();
    const auto text = webjson::compactText(*json);
    return text ? HttpResponse::json(*text) : internalError();
}

template <typename Json> std::optional<QJsonDocument> asDocument(const std::optional<Json>& json)
{
    return json ? std::optional<QJsonDocument>(QJsonDocument(*json)) : std::nullopt;
}

HttpResponse jsonObject(const QJsonObject& object, int statusCode = 200)
{
    HttpResponse response = HttpResponse::json(QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString());
    response.statusCode = statusCode;
    return response;
}

HttpResponse refusalAnswer(const SettingsValidator::Refusal& refusal)
{
    return jsonObject({{"error", refusal.reason}, {"field", refusal.field}}, 400);
}

QString roleText(AccessRole role)
{
    return QString::fromLatin1(rawValue(role).data(), static_cast<qsizetype>(rawValue(role).size()));
}

// What anyone may reach while a password is set: what it takes to log in.
bool isPublic(std::string_view method, std::string_view path)
{
    if (method == "GET")
        return path == "/login.html" || path == "/api/session" || path == "/font/digital-7.ttf" ||
               path == WebPages::styleSheet().path || path == WebPages::script().path;
    return method == "POST" && (path == "/api/login" || path == "/api/logout");
}

// Documents that hold secrets (the viewer link, the token names) are for operators only.
bool isOperatorDocument(std::string_view path)
{
    return path == "/api/access" || path == "/api/access/viewer-qr.svg";
}

// The key travels after '#', so it never reaches a request line or the log.
QString viewerLink(const std::string& origin, const QString& key)
{
    return QString::fromStdString(origin) + QStringLiteral("/login.html#viewer=") + key;
}

const std::set<std::string_view> transportCommands{"play", "pause", "stop", "next", "prev", "seek"};

// Which entry a playlist edit means: by "id" (what the pages send, with the "revision" they
// showed) or, for scripts, by "index".
struct TrackReference {
    std::optional<QUuid> id;
    std::optional<std::int64_t> index;
    std::optional<std::int64_t> revision;

    // Nothing when the body names no entry.
    static std::optional<TrackReference> from(const QJsonObject& body)
    {
        TrackReference reference{std::nullopt, webjson::integer(body, "index"), webjson::integer(body, "revision")};
        if (const auto id = webjson::string(body, "id")) {
            const QUuid uuid(*id);
            if (uuid.isNull())
                return std::nullopt;
            reference.id = uuid;
        }
        if (!reference.id && !reference.index)
            return std::nullopt;
        return reference;
    }
};

// Main thread. The entry's position, nothing for an index past the list (which does nothing,
// as it always has), or 409 with the current playlist when the client's view is stale: a phone
// must never edit a track other than the one it showed.
std::variant<std::optional<int>, HttpResponse> positionOf(const WebServices& services, const TrackReference& reference)
{
    DMXController* controller = services.dmxController.data();
    if (!controller)
        return internalError();
    const Playlist& playlist = controller->playlist();
    std::optional<int> position;
    bool current = !reference.revision || static_cast<std::uint64_t>(*reference.revision) == playlist.revision();
    if (reference.id) {
        position = playlist.indexOf(*reference.id);
        current = current && position.has_value();
    } else if (*reference.index >= 0 && *reference.index < playlist.playlist().size()) {
        position = static_cast<int>(*reference.index);
    }
    if (current)
        return position;
    HttpResponse conflict = jsonObject({{"error", "The playlist changed"},
                                        {"playlist", WebDocuments::playlist(services).value_or(QJsonArray())},
                                        {"revision", static_cast<double>(playlist.revision())}},
                                       409);
    return conflict;
}

// Main thread, once run: the edit applied to the entry the client meant, or the refusal.
std::function<HttpResponse()> editAnswer(const WebServices* services, TrackReference reference,
                                         std::function<void(DMXController&, int position)> edit)
{
    return [services, reference, edit = std::move(edit)] {
        auto resolved = positionOf(*services, reference);
        if (auto* refusal = std::get_if<HttpResponse>(&resolved))
            return std::move(*refusal);
        const std::optional<int> position = std::get<std::optional<int>>(resolved);
        if (DMXController* controller = services->dmxController.data(); controller && position)
            edit(*controller, *position);
        return HttpResponse::ok();
    };
}

} // namespace

WebServer::WebServer(QObject* parent) : WebServer(Options{}, parent)
{
}

WebServer::WebServer(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)),
      resources_(options_.resourceFolders.isEmpty() ? WebResources::defaultFolders() : options_.resourceFolders)
{
    services_.settings = options_.settings ? options_.settings : &SettingsManager::shared();
    services_.effects = options_.effects ? options_.effects : &VideoEffectsManager::shared();
    services_.remote = options_.remote ? options_.remote : &WebRemoteSettings::shared();
    services_.timecode = options_.timecode ? options_.timecode : &TimecodeSettings::shared();
    services_.sync = options_.sync ? options_.sync : &SyncSettings::shared();
    library_ = std::make_unique<MediaLibrary>(services_.settings->mediaFolder());
    uploadSizeLimit_ = services_.settings->uploadSizeLimit();
    playlistsFolder_ =
        options_.playlistsFolder.isEmpty() ? SettingsManager::playlistsFolder() : options_.playlistsFolder;
    const auto watchLibrary = [this](const QString& folder) {
        if (!libraryWatcher_.directories().isEmpty())
            libraryWatcher_.removePaths(libraryWatcher_.directories());
        // A folder that does not exist yet is created by the first listing; until then there is
        // nothing to watch.
        if (QDir(folder).exists())
            libraryWatcher_.addPath(folder);
        ++libraryRevision_;
    };
    watchLibrary(services_.settings->mediaFolder());
    connect(&libraryWatcher_, &QFileSystemWatcher::directoryChanged, this, [this] { ++libraryRevision_; });
    connect(services_.settings, &SettingsManager::mediaFolderChanged, this,
            [this, watchLibrary](const QString& folder) {
                library_->setFolder(folder);
                watchLibrary(folder);
            });
    connect(services_.settings, &SettingsManager::uploadSizeLimitChanged, this,
            [this](qint64 bytes) { uploadSizeLimit_ = bytes; });

    WebRemoteSettings* remote = services_.remote;
    // The viewer link exists from the start, so the rules never change under a link shown.
    remote->viewerKey();
    updateAccessRules();
    updateAllowedNames();
    transportMinInterval_ = remote->transportMinInterval();
    // Direct connections: a password change ends the old sessions before its own answer opens
    // the caller's new one.
    connect(remote, &WebRemoteSettings::accessChanged, this, &WebServer::updateAccessRules);
    connect(remote, &WebRemoteSettings::sessionIdleHoursChanged, this, &WebServer::updateAccessRules);
    connect(remote, &WebRemoteSettings::hostNamesChanged, this, &WebServer::updateAllowedNames);
    connect(remote, &WebRemoteSettings::transportMinIntervalChanged, this,
            [this] { transportMinInterval_ = services_.remote->transportMinInterval(); });
    // The answer to the request that chose the interface leaves on the old listener first.
    connect(remote, &WebRemoteSettings::interfaceNameChanged, this, [this] {
        if (http_)
            QTimer::singleShot(300, this, &WebServer::listen);
    });
    interfaceRetry_.setInterval(5000);
    connect(&interfaceRetry_, &QTimer::timeout, this, &WebServer::listen);
    addRoutes();
}

WebServer::~WebServer()
{
    // Joins the server's threads, then the library's worker, before anything they may call
    // into goes away.
    http_.reset();
    library_.reset();
}

void WebServer::start(PlaybackEngine* playbackEngine, DMXController* dmxController, ProtocolManager* protocolManager,
                      NDIControl* ndiService, ThemeManager* themeManager)
{
    if (http_)
        return;
    services_.playbackEngine = playbackEngine;
    services_.dmxController = dmxController;
    services_.protocolManager = protocolManager;
    services_.ndiService = ndiService;
    services_.themeManager = themeManager;
    listen();
}

std::vector<std::string> WebServer::listenAddresses()
{
    const QString chosen = services_.remote->interfaceName();
    interfaceRetry_.stop();
    if (chosen.isEmpty())
        return {options_.address};
    for (const NetworkInterface& interface : NetworkManager::getAvailableInterfaces())
        if (QString::fromStdString(interface.name) == chosen)
            return {interface.ipAddress, "127.0.0.1"};
    // Never fall back to every interface: the operator chose to keep the others out.
    logLine("WebServer: Interface " + chosen.toStdString() + " has no address; listening on localhost until it has");
    interfaceRetry_.start();
    return {"127.0.0.1"};
}

void WebServer::listen()
{
    const std::vector<std::string> addresses = listenAddresses();
    // The port is free again only once the old listeners are closed.
    http_.reset();

    HttpServer::Options serverOptions;
    serverOptions.addresses = addresses;
    serverOptions.port = options_.port;
    serverOptions.requestTimeout = options_.requestTimeout;
    serverOptions.bodyStallTimeout = options_.uploadStallTimeout;
    serverOptions.streamOpener = [this](std::string_view head, const std::string& peer) -> HttpStreamStart {
        // An upload passes the same checks as any other request before its body is read.
        if (head.starts_with("PUT ")) {
            auto request = HttpRequest::parse(std::string(head));
            if (!request)
                return {true, HttpResponse::plainText(400, "Bad Request"), nullptr, 0, false};
            request->peer = peer;
            if (auto refusal = admit(*request)) {
                logLine("WebServer: PUT " + printableForLog(request->path));
                return {true, std::move(*refusal), nullptr, 0, false};
            }
        }
        return WebLibrary::openUpload(head, {library_->folder(), uploadSizeLimit_.load(), options_.minimumFreeBytes});
    };
    auto server = std::make_unique<HttpServer>(
        serverOptions, [this](std::string raw, const std::string& peer, HttpResponder responder) {
            handleRequest(std::move(raw), peer, responder);
        });
    if (const auto error = server->start()) {
        logLine((error->creating ? "WebServer: Failed to create listener: " : "WebServer: Failed with error: ") +
                error->text);
        if (isRunning_)
            setIsRunning(false);
        return;
    }
    const std::uint16_t port = server->port();
    http_ = std::move(server);
    postToMain(this, [this, port, addresses] {
        setIsRunning(true);
        setServerURL(QStringLiteral("http://localhost:%1").arg(port));
        logLine("WebServer: Listening on port " + std::to_string(port));
        for (const std::string& url : remoteURLs(addresses, NetworkManager::getAvailableInterfaces(), port))
            logLine("WebServer: Remote at " + url);
    });
}

std::uint16_t WebServer::port() const
{
    return http_ ? http_->port() : 0;
}

std::size_t WebServer::connectionCount() const
{
    return http_ ? http_->connectionCount() : 0;
}

void WebServer::setIsRunning(bool running)
{
    isRunning_ = running;
    emit isRunningChanged(running);
}

void WebServer::setServerURL(const QString& url)
{
    serverURL_ = url;
    emit serverURLChanged();
}

void WebServer::handleRequest(std::string raw, const std::string& peer, const HttpResponder& responder)
{
    auto request = HttpRequest::parse(std::move(raw));
    if (!request) {
        responder.send(HttpResponse::plainText(400, "Bad Request"));
        return;
    }
    request->peer = peer;
    logLine("WebServer: " + printableForLog(request->method) + " " + printableForLog(request->path));
    if (auto refusal = admit(*request)) {
        responder.send(std::move(*refusal));
        return;
    }

    std::optional<RouteTable::Match> match;
    if (request->method == "GET") {
        match = routes_.find("GET", request->path);
    } else if (request->method == "POST") {
        // The body starts after the head's blank line; without one there is no body to read.
        if (!request->body()) {
            responder.send(HttpResponse::plainText(400, "Bad Request"));
            return;
        }
        match = routes_.find("POST", request->path);
    } else if (request->method == "DELETE") {
        match = routes_.find("DELETE", request->path);
        if (!match) {
            responder.send(HttpResponse::plainText(405, "Method Not Allowed"));
            return;
        }
    } else {
        responder.send(HttpResponse::plainText(405, "Method Not Allowed"));
        return;
    }
    if (!match) {
        responder.send(HttpResponse::plainText(404, "Not Found"));
        return;
    }

    const RouteTable::Route* route = match->route;
    if (route->context == Context::mainThread) {
        // Document routes answer from the services' state alone, so one build serves every
        // request waiting with this one.
        batches_.at(route)->add(responder, actionsQueued_.load(), this,
                                [route] { return route->handler(HttpRequest{}, {}).response; });
        return;
    }
    if (route->context == Context::background) {
        // The prefix's rest is the end of the path; the request travels to the worker by value.
        const std::size_t restSize = match->rest.size();
        library_->run([route, request = std::move(*request), responder, restSize] {
            const std::string_view rest = std::string_view(request.path).substr(request.path.size() - restSize);
            responder.send(route->handler(request, rest).response);
        });
        return;
    }
    RouteOutcome outcome = route->handler(*request, match->rest);
    if (outcome.mainThreadAnswer) {
        postToMain(this, [responder, build = std::move(outcome.mainThreadAnswer)] { responder.send(build()); });
        actionsQueued_.fetch_add(1);
        return;
    }
    if (outcome.mainThreadAction) {
        postToMain(this, std::move(outcome.mainThreadAction));
        actionsQueued_.fetch_add(1);
    }
    responder.send(std::move(outcome.response));
}

std::optional<HttpResponse> WebServer::admit(HttpRequest& request)
{
    const std::string_view head = request.head();
    if (auto refusal = RequestGuard::check(request.method, head, allowedNames())) {
        logLine("WebServer: Refused " + printableForLog(request.method) + " " + printableForLog(request.path) +
                " from " + request.peer + ": " + printableForLog(refusal->reason));
        return std::move(refusal->response);
    }
    request.role = access_.identify(head, WebAccess::Clock::now());
    if (isPublic(request.method, request.path))
        return std::nullopt;
    if (!request.role) {
        if (request.method == "GET" && !request.path.starts_with("/api/"))
            return HttpResponse::redirect("/login.html");
        return HttpResponse::jsonError(401, "Login required");
    }
    if (*request.role == AccessRole::view && (request.method != "GET" || isOperatorDocument(request.path)))
        return HttpResponse::jsonError(403, "Viewers cannot change the show");
    return std::nullopt;
}

std::optional<HttpResponse> WebServer::tooSoon(const std::string& command)
{
    const double minimum = transportMinInterval_.load();
    const auto since = pacer_.admit(TransportPacer::Clock::now(), std::chrono::duration<double>(minimum));
    if (!since)
        return std::nullopt;
    const QString reason =
        QStringLiteral("%1 s after the last command; the minimum is %2 s").arg(*since, 0, 'f', 2).arg(minimum);
    logLine("WebServer: Ignored command " + printableForLog(command) + ": " + reason.toStdString());
    return jsonObject({{"status", "ignored"}, {"reason", reason}});
}

void WebServer::updateAccessRules()
{
    WebRemoteSettings& remote = *services_.remote;
    WebAccess::Rules rules;
    rules.passwordHash = remote.passwordHash().toStdString();
    for (const WebRemoteSettings::Token& token : remote.tokens())
        rules.tokenDigests.emplace(token.digest.toStdString(), token.role);
    rules.viewerKey = remote.viewerKey().toStdString();
    rules.sessionIdle = std::chrono::duration<double>(remote.sessionIdleHours() * 3600.0);
    access_.setRules(std::move(rules));
}

void WebServer::updateAllowedNames()
{
    std::set<std::string, std::less<>> names;
    const auto add = [&names](const QString& name) {
        if (!name.isEmpty())
            names.insert(name.toLower().toStdString());
    };
    char host[HOST_NAME_MAX + 1] = {};
    gethostname(host, HOST_NAME_MAX);
    const QString machine = QString::fromLocal8Bit(host);
    add(machine);
    add(machine + QStringLiteral(".local"));
    for (const QString& name : services_.remote->hostNames())
        add(name);
    std::lock_guard lock(namesMutex_);
    allowedNames_ = std::move(names);
}

std::set<std::string, std::less<>> WebServer::allowedNames() const
{
    std::lock_guard lock(namesMutex_);
    return allowedNames_;
}

std::string WebServer::ownOrigin(const HttpRequest& request) const
{
    const auto host = headerValue(request.head(), "Host");
    return "http://" + (host ? std::string(*host) : "localhost:" + std::to_string(port()));
}

void WebServer::addPostRoute(std::string_view path, std::function<RouteOutcome(const QJsonObject& body)> action)
{
    routes_.add("POST", path, Context::connectionThread,
                [action = std::move(action)](const HttpRequest& request, std::string_view) {
                    const auto body = webjson::parseObject(request.body().value_or(std::string_view()));
                    return body ? action(*body) : answer(invalidJson());
                });
}

void WebServer::addDocumentRoute(std::string_view path, std::function<HttpResponse()> build)
{
    routes_.add("GET", path, Context::mainThread,
                [build = std::move(build)](const HttpRequest&, std::string_view) { return answer(build()); });
    batches_.emplace(routes_.find("GET", path)->route, std::make_unique<DocumentBatch>());
}

void WebServer::addRoutes()
{
    // Pages and files: answered on the connection's thread from constants and files.
    const auto addPage = [this](std::string_view path, std::string_view html) {
        routes_.add("GET", path, Context::connectionThread,
                    [html](const HttpRequest&, std::string_view) { return answer(page(html)); });
    };
    addPage("/", WebPages::remote());
    addPage("/index.html", WebPages::remote());
    addPage("/playlist.html", WebPages::playlist());
    addPage("/settings.html", WebPages::settings());
    addPage("/effects.html", WebPages::effects());
    addPage("/login.html", WebPages::login());
    for (const WebAsset* asset : {&WebPages::styleSheet(), &WebPages::script()})
        routes_.add("GET", asset->path, Context::connectionThread,
                    [asset](const HttpRequest&, std::string_view) { return answer(asset->response()); });
    routes_.add("GET", "/fixtures.html", Context::connectionThread, [this](const HttpRequest&, std::string_view) {
        return answer(page(WebPages::fixtures(resources_.fixtureFileNames())));
    });
    routes_.add("GET", "/font/digital-7.ttf", Context::connectionThread, [this](const HttpRequest&, std::string_view) {
        const auto font = resources_.font();
        return answer(font ? HttpResponse::binary("font/ttf", font->toStdString())
                           : HttpResponse::plainText(404, "Font not found"));
    });
    const auto serveFixtureFile = [this](const HttpRequest&, std::string_view rest) {
        const QString name = UrlText::percentDecoded(rest).value_or(QString::fromUtf8(rest.data(), rest.size()));
        const auto file = resources_.fixtureFile(name);
        return answer(file ? HttpResponse::binary("application/octet-stream", file->toStdString())
                           : HttpResponse::plainText(404, "Fixture file not found: " + name.toStdString()));
    };
    // Exact, so it is found before the console files' prefix; "json" is not one of their extensions.
    routes_.add("GET", FixtureProfile::downloadPath, Context::connectionThread,
                [](const HttpRequest&, std::string_view) {
                    const QJsonDocument profile(FixtureProfile::openFixtureLibrary());
                    return answer(HttpResponse::json(profile.toJson(QJsonDocument::Indented).toStdString())
                                      .withHeader("Content-Disposition", "attachment; filename=\"orvelo.json\""));
                });
    routes_.addPrefix("GET", "/fixtures/", Context::connectionThread, serveFixtureFile);

    // Documents: read from the services on the main thread.
    addDocumentRoute("/api/status", [this] {
        // A media folder created after it was chosen (by the first upload) is watched from then on.
        if (libraryWatcher_.directories().isEmpty() && QDir(library_->folder()).exists()) {
            libraryWatcher_.addPath(library_->folder());
            ++libraryRevision_;
        }
        auto status = WebDocuments::status(services_, QDateTime::currentDateTimeUtc());
        if (status)
            status->insert("libraryRevision", static_cast<double>(libraryRevision_));
        return document(asDocument(status));
    });
    addDocumentRoute("/api/playlist", [this] { return document(asDocument(WebDocuments::playlist(services_))); });
    addDocumentRoute("/api/config/artnet",
                     [this] { return document(asDocument(WebDocuments::artNetConfig(services_))); });
    addDocumentRoute("/api/settings", [this] { return document(QJsonDocument(WebDocuments::settings(services_))); });
    addDocumentRoute("/api/effects", [this] { return document(QJsonDocument(WebDocuments::effects(services_))); });

    // Actions: validated here, answered at once, carried out afterwards on the main thread.
    addPostRoute("/api/control", [this](const QJsonObject& body) {
        const auto command = webjson::string(body, "command");
        if (!command)
            return answer(invalidJson());
        // A seek says where to, in seconds within the current track.
        const auto position = webjson::number(body, "position");
        if (*command == QLatin1String("seek") && (!position || !std::isfinite(*position) || *position < 0))
            return answer(invalidJson());
        if (transportCommands.contains(command->toStdString()))
            if (auto ignored = tooSoon(command->toStdString()))
                return answer(std::move(*ignored));
        return answer(HttpResponse::ok(), [this, command = *command, position] {
            WebActions::executeCommand(services_, command, position);
        });
    });
    addPostRoute("/api/playlist/play", [this](const QJsonObject& body) {
        const auto reference = TrackReference::from(body);
        if (!reference)
            return answer(invalidJson());
        if (auto ignored = tooSoon("play track"))
            return answer(std::move(*ignored));
        return onMainThread(editAnswer(&services_, *reference, [](DMXController& controller, int position) {
            if (controller.acceptsTransportFrom("the web"))
                controller.playTrack(position);
        }));
    });
    addPostRoute("/api/playlist/reorder", [this](const QJsonObject& body) {
        const auto reference = TrackReference::from(body);
        const auto direction = webjson::string(body, "direction");
        if (!reference || !direction)
            return answer(invalidJson());
        return onMainThread(
            editAnswer(&services_, *reference, [direction = *direction](DMXController& controller, int position) {
                if (direction == QLatin1String("up"))
                    controller.playlist().moveTrackUp(position);
                else if (direction == QLatin1String("down"))
                    controller.playlist().moveTrackDown(position);
            }));
    });
    addPostRoute("/api/config/artnet", [this](const QJsonObject& body) {
        if (const auto refusal = SettingsValidator::checkAddress(body))
            return answer(refusalAnswer(*refusal));
        const std::int64_t universe = webjson::integer(body, "universe").value_or(0);
        const std::int64_t subnet = webjson::integer(body, "subnet").value_or(0);
        const std::int64_t net = webjson::integer(body, "net").value_or(0);
        const std::int64_t channel = webjson::integer(body, "channel").value_or(1);
        return answer(HttpResponse::ok(), [this, universe, subnet, net, channel] {
            WebActions::updateArtNetConfig(services_, universe, subnet, net, channel);
        });
    });
    // Checked on the main thread, where the library roots live, and answered once applied.
    addPostRoute("/api/settings", [this](const QJsonObject& body) {
        return onMainThread([this, body] {
            if (const auto refusal = SettingsValidator::check(body, services_.remote->allLibraryRoots()))
                return refusalAnswer(*refusal);
            WebActions::applySettings(services_, body, this);
            return HttpResponse::ok();
        });
    });
    addPostRoute("/api/effects", [this](const QJsonObject& body) {
        return answer(HttpResponse::ok(), [this, body] { WebActions::applyEffectsSettings(services_, body); });
    });
    addLibraryRoutes();
    addAccessRoutes();
}

void WebServer::addLibraryRoutes()
{
    routes_.add("GET", "/api/media", Context::background, [this](const HttpRequest&, std::string_view) {
        return answer(document(QJsonDocument(WebLibrary::mediaDocument(library_->list()))));
    });
    routes_.addPrefix("GET", "/api/media/thumbnail/", Context::background,
                      [this](const HttpRequest&, std::string_view rest) {
                          const auto name = MediaPath::fromUrlPath(rest);
                          const auto jpeg = name ? library_->thumbnail(*name) : std::nullopt;
                          return answer(jpeg ? HttpResponse::text(200, "image/jpeg", jpeg->toStdString())
                                             : HttpResponse::plainText(404, "Not Found"));
                      });
    // A file on the playlist is kept unless the client insists ("?force=1"): its entries then
    // keep their places, shown as missing.
    routes_.addPrefix(
        "DELETE", "/api/media/", Context::connectionThread, [this](const HttpRequest&, std::string_view rest) {
            const std::size_t query = rest.find('?');
            const bool force = query != std::string_view::npos && rest.substr(query + 1) == "force=1";
            const auto name = MediaPath::fromUrlPath(rest.substr(0, query));
            if (!name)
                return answer(HttpResponse::jsonError(400, "Invalid name"));
            const auto path = MediaPath::existingFile(library_->folder(), *name);
            if (!path)
                return answer(HttpResponse::jsonError(404, "Media not found: " + name->toStdString()));
            return onMainThread([this, path = *path, name = *name, force] {
                DMXController* controller = services_.dmxController.data();
                int uses = 0;
                if (controller)
                    for (const MediaTrack& track : controller->playlist().playlist())
                        uses += QFileInfo(track.url.toLocalFile()) == QFileInfo(path);
                if (uses > 0 && !force)
                    return HttpResponse::jsonError(
                        409, name.toStdString() +
                                 " is on the playlist; delete it with ?force=1 to keep its entries as missing");
                if (!QFile::remove(path))
                    return HttpResponse::jsonError(500, "Could not delete " + name.toStdString());
                logLine("WebServer: Deleted " + name.toStdString() +
                        (uses > 0 ? ", its playlist entries are now missing" : std::string()));
                if (controller)
                    controller->playlist().checkFiles();
                return HttpResponse::ok();
            });
        });
    routes_.add("GET", "/api/playlists", Context::connectionThread, [this](const HttpRequest&, std::string_view) {
        return answer(document(QJsonDocument(WebLibrary::playlistsDocument(playlistsFolder_))));
    });

    addPostRoute("/api/playlist/add", [this](const QJsonObject& body) {
        if (!body.value("names").isArray())
            return answer(invalidJson());
        const QString folder = library_->folder();
        QList<QUrl> files;
        for (const QJsonValue& value : body.value("names").toArray()) {
            if (!value.isString())
                return answer(invalidJson());
            const QString name = value.toString();
            if (!MediaPath::checked(name))
                return answer(HttpResponse::plainText(400, "Invalid name: " + name.toStdString()));
            const auto path = MediaPath::existingFile(folder, name);
            if (!path)
                return answer(HttpResponse::plainText(404, "Media not found: " + name.toStdString()));
            files.append(QUrl::fromLocalFile(*path));
        }
        return onMainThread([this, files] { return WebLibrary::addTracks(services_, files); });
    });
    addPostRoute("/api/playlist/remove", [this](const QJsonObject& body) {
        const auto reference = TrackReference::from(body);
        if (!reference)
            return answer(invalidJson());
        return onMainThread(editAnswer(&services_, *reference, [](DMXController& controller, int position) {
            controller.playlist().removeTracks({position});
        }));
    });
    addPostRoute("/api/playlist/repeat", [this](const QJsonObject& body) {
        const auto reference = TrackReference::from(body);
        const auto count = webjson::integer(body, "count");
        if (!reference || !count || *count < 0 || *count > std::numeric_limits<int>::max())
            return answer(invalidJson());
        return onMainThread(editAnswer(&services_, *reference,
                                       [count = static_cast<int>(*count)](DMXController& controller, int position) {
                                           controller.playlist().setRepeatCount(position, count);
                                       }));
    });
    const auto playlistRoute = [this](std::string_view path, auto act) {
        addPostRoute(path, [this, act](const QJsonObject& body) {
            const auto requested = webjson::string(body, "name");
            if (!requested)
                return answer(invalidJson());
            const auto fileName = WebLibrary::playlistFileName(*requested);
            if (!fileName)
                return answer(HttpResponse::plainText(400, "Invalid name: " + requested->toStdString()));
            return onMainThread(
                [this, act, fileName = *fileName] { return act(services_, playlistsFolder_, fileName); });
        });
    };
    playlistRoute("/api/playlist/save", &WebLibrary::savePlaylist);
    playlistRoute("/api/playlist/load", &WebLibrary::loadPlaylist);
}

void WebServer::addAccessRoutes()
{
    routes_.add("GET", "/api/session", Context::connectionThread, [this](const HttpRequest& request, std::string_view) {
        return answer(jsonObject({{"role", request.role ? roleText(*request.role) : QStringLiteral("none")},
                                  {"passwordSet", !access_.isOpen()}}));
    });

    // Password checks take a fraction of a second on purpose: never on the main thread.
    routes_.add("POST", "/api/login", Context::connectionThread, [this](const HttpRequest& request, std::string_view) {
        const auto body = webjson::parseObject(request.body().value_or(std::string_view()));
        const auto password = body ? webjson::string(*body, "password") : std::nullopt;
        const auto viewerKey = body ? webjson::string(*body, "viewerKey") : std::nullopt;
        if (!password && !viewerKey)
            return answer(invalidJson());
        const WebAccess::LoginResult result =
            access_.login(password.value_or(QString()).toStdString(), viewerKey.value_or(QString()).toStdString(),
                          request.peer, WebAccess::Clock::now());
        if (result.status == 200) {
            const QString role = roleText(result.role.value_or(AccessRole::operate));
            logLine("WebServer: Login from " + request.peer + " as " + role.toStdString());
            HttpResponse response = jsonObject({{"status", "ok"}, {"role", role}});
            if (!result.cookie.empty())
                response.headers.emplace_back("Set-Cookie", result.cookie);
            return answer(std::move(response));
        }
        const QString error = QString::fromStdString(result.error);
        if (result.status == 429)
            return answer(jsonObject({{"error", error}, {"retryAfter", result.retryAfterSeconds}}, 429)
                              .withHeader("Retry-After", std::to_string(result.retryAfterSeconds)));
        logLine("WebServer: Failed login from " + request.peer);
        return answer(jsonObject({{"error", error}}, result.status));
    });

    routes_.add("POST", "/api/logout", Context::connectionThread, [this](const HttpRequest& request, std::string_view) {
        return answer(HttpResponse::ok().withHeader("Set-Cookie", access_.logout(request.head())));
    });

    routes_.add("GET", "/api/access", Context::connectionThread, [this](const HttpRequest& request, std::string_view) {
        return onMainThread([this, origin = ownOrigin(request)] {
            WebRemoteSettings& remote = *services_.remote;
            QJsonArray tokens;
            for (const WebRemoteSettings::Token& token : remote.tokens())
                tokens.append(QJsonObject{{"name", token.name},
                                          {"role", roleText(token.role)},
                                          {"created", token.created.toString(Qt::ISODate)}});
            return jsonObject({{"passwordSet", remote.passwordSet()},
                               {"tokens", tokens},
                               {"viewerLink", viewerLink(origin, remote.viewerKey())}});
        });
    });
    routes_.add("GET", "/api/access/viewer-qr.svg", Context::connectionThread,
                [this](const HttpRequest& request, std::string_view) {
                    return onMainThread([this, origin = ownOrigin(request)] {
                        const auto svg = qrSvg(viewerLink(origin, services_.remote->viewerKey()).toStdString());
                        return svg ? HttpResponse::text(200, "image/svg+xml", *svg) : internalError();
                    });
                });

    addPostRoute("/api/access/password", [this](const QJsonObject& body) {
        const auto password = webjson::string(body, "password");
        if (!password)
            return answer(invalidJson());
        // While a password is set, changing it takes the current one, so that a phone left
        // logged in cannot lock the operator out.
        if (!access_.isOpen() &&
            !access_.checkPassword(webjson::string(body, "current").value_or(QString()).toStdString()))
            return answer(HttpResponse::jsonError(403, "The current password is wrong"));
        if (password->size() > WebRemoteSettings::maximumPasswordLength)
            return answer(HttpResponse::jsonError(400, "The password is too long"));
        std::string hash;
        if (!password->isEmpty()) {
            const auto made = secrets::hashPassword(password->toStdString());
            if (!made)
                return answer(HttpResponse::jsonError(500, "The password could not be hashed"));
            hash = *made;
        }
        return onMainThread([this, hash] {
            if (const auto refusal = services_.remote->setPasswordHash(QString::fromStdString(hash)))
                return HttpResponse::jsonError(500, refusal->toStdString());
            if (hash.empty())
                return HttpResponse::ok();
            // Every other session ended with the old password; the caller goes on.
            return HttpResponse::ok().withHeader("Set-Cookie",
                                                 access_.restartSessions(AccessRole::operate, WebAccess::Clock::now()));
        });
    });
    addPostRoute("/api/access/tokens", [this](const QJsonObject& body) {
        const auto name = webjson::string(body, "name");
        const auto role = accessRoleFromRawValue(webjson::string(body, "role").value_or("operator").toStdString());
        if (!name || !role)
            return answer(invalidJson());
        return onMainThread([this, name = *name, role = *role] {
            WebRemoteSettings& remote = *services_.remote;
            for (const WebRemoteSettings::Token& token : remote.tokens())
                if (token.name == name)
                    return HttpResponse::jsonError(409, "A token named " + name.toStdString() + " exists");
            const WebRemoteSettings::NewToken made = remote.createToken(name, role);
            if (!made.secret)
                return HttpResponse::jsonError(400, made.refusal.toStdString());
            logLine("WebServer: Token created: " + printableForLog(name.toStdString()));
            return jsonObject({{"status", "ok"}, {"name", name}, {"token", *made.secret}});
        });
    });
    addPostRoute("/api/access/tokens/revoke", [this](const QJsonObject& body) {
        const auto name = webjson::string(body, "name");
        if (!name)
            return answer(invalidJson());
        return onMainThread([this, name = *name] {
            if (!services_.remote->revokeToken(name))
                return HttpResponse::jsonError(404, "No token named " + name.toStdString());
            logLine("WebServer: Token revoked: " + printableForLog(name.toStdString()));
            return HttpResponse::ok();
        });
    });
    routes_.add("POST", "/api/access/viewer", Context::connectionThread,
                [this](const HttpRequest& request, std::string_view) {
                    return onMainThread([this, origin = ownOrigin(request)] {
                        return jsonObject(
                            {{"status", "ok"}, {"viewerLink", viewerLink(origin, services_.remote->renewViewerKey())}});
                    });
                });
}

} // namespace orvelo
