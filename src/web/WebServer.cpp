#include "web/WebServer.h"

#include "platform/Log.h"
#include "platform/MainThread.h"
#include "web/HttpServer.h"
#include "web/UrlText.h"
#include "web/WebActions.h"
#include "web/WebDocuments.h"
#include "web/MediaPath.h"
#include "web/WebJson.h"
#include "web/WebLibrary.h"
#include "web/WebPages.h"

#include <QDateTime>
#include <QJsonArray>

#include <limits>
#include <QJsonDocument>

namespace orvelo {

namespace {

using Context = RouteTable::Context;

RouteOutcome answer(HttpResponse response, std::function<void()> action = {})
{
    return {std::move(response), std::move(action), {}};
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

template <typename Json>
std::optional<QJsonDocument> asDocument(const std::optional<Json>& json)
{
    return json ? std::optional<QJsonDocument>(QJsonDocument(*json)) : std::nullopt;
}

} // namespace

WebServer::WebServer(QObject* parent) : WebServer(Options{}, parent) {}

WebServer::WebServer(Options options, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      resources_(options_.resourceFolders.isEmpty() ? WebResources::defaultFolders() : options_.resourceFolders)
{
    services_.settings = options_.settings ? options_.settings : &SettingsManager::shared();
    services_.effects = options_.effects ? options_.effects : &VideoEffectsManager::shared();
    library_ = std::make_unique<MediaLibrary>(services_.settings->mediaFolder());
    uploadSizeLimit_ = services_.settings->uploadSizeLimit();
    playlistsFolder_ = options_.playlistsFolder.isEmpty() ? SettingsManager::playlistsFolder() : options_.playlistsFolder;
    connect(services_.settings, &SettingsManager::mediaFolderChanged, this,
            [this](const QString& folder) { library_->setFolder(folder); });
    connect(services_.settings, &SettingsManager::uploadSizeLimitChanged, this,
            [this](qint64 bytes) { uploadSizeLimit_ = bytes; });
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

    HttpServer::Options serverOptions;
    serverOptions.address = options_.address;
    serverOptions.port = options_.port;
    serverOptions.requestTimeout = options_.requestTimeout;
    serverOptions.bodyStallTimeout = options_.uploadStallTimeout;
    serverOptions.streamOpener = [this](std::string_view head) {
        return WebLibrary::openUpload(head, {library_->folder(), uploadSizeLimit_.load(), options_.minimumFreeBytes});
    };
    auto server = std::make_unique<HttpServer>(
        serverOptions, [this](std::string raw, HttpResponder responder) { handleRequest(std::move(raw), responder); });
    if (const auto error = server->start()) {
        if (error->creating) {
            logLine("WebServer: Failed to create listener: " + error->text);
            return;
        }
        postToMain(this, [this, text = error->text] {
            logLine("WebServer: Failed with error: " + text);
            setIsRunning(false);
        });
        return;
    }
    const std::uint16_t port = server->port();
    http_ = std::move(server);
    postToMain(this, [this, port] {
        setIsRunning(true);
        setServerURL(QStringLiteral("http://localhost:%1").arg(port));
        logLine("WebServer: Listening on port " + std::to_string(port));
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

void WebServer::handleRequest(std::string raw, const HttpResponder& responder)
{
    auto request = HttpRequest::parse(std::move(raw));
    if (!request) {
        responder.close();
        return;
    }
    logLine("WebServer: " + printableForLog(request->method) + " " + printableForLog(request->path));

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
    routes_.addPrefix("GET", "/fixtures/", Context::connectionThread, serveFixtureFile);

    // Documents: read from the services on the main thread.
    addDocumentRoute("/api/status", [this] {
        return document(asDocument(WebDocuments::status(services_, QDateTime::currentDateTimeUtc())));
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
        return answer(HttpResponse::ok(),
                      [this, command = *command] { WebActions::executeCommand(services_, command); });
    });
    addPostRoute("/api/playlist/play", [this](const QJsonObject& body) {
        const auto index = webjson::integer(body, "index");
        if (!index)
            return answer(invalidJson());
        return answer(HttpResponse::ok(), [this, index = *index] { WebActions::playTrack(services_, index); });
    });
    addPostRoute("/api/playlist/reorder", [this](const QJsonObject& body) {
        const auto index = webjson::integer(body, "index");
        const auto direction = webjson::string(body, "direction");
        if (!index || !direction)
            return answer(invalidJson());
        return answer(HttpResponse::ok(), [this, index = *index, direction = *direction] {
            WebActions::reorderTrack(services_, index, direction);
        });
    });
    addPostRoute("/api/config/artnet", [this](const QJsonObject& body) {
        const std::int64_t universe = webjson::integer(body, "universe").value_or(0);
        const std::int64_t subnet = webjson::integer(body, "subnet").value_or(0);
        const std::int64_t net = webjson::integer(body, "net").value_or(0);
        const std::int64_t channel = webjson::integer(body, "channel").value_or(1);
        return answer(HttpResponse::ok(), [this, universe, subnet, net, channel] {
            WebActions::updateArtNetConfig(services_, universe, subnet, net, channel);
        });
    });
    addPostRoute("/api/settings", [this](const QJsonObject& body) {
        if (const auto refusal = WebActions::settingsRefusal(body))
            return answer(HttpResponse::plainText(400, refusal->toStdString()));
        return answer(HttpResponse::ok(), [this, body] { WebActions::applySettings(services_, body, this); });
    });
    addPostRoute("/api/effects", [this](const QJsonObject& body) {
        return answer(HttpResponse::ok(), [this, body] { WebActions::applyEffectsSettings(services_, body); });
    });
    addLibraryRoutes();
}

void WebServer::addLibraryRoutes()
{
    const auto answerOnMain = [](std::function<HttpResponse()> build) {
        RouteOutcome outcome;
        outcome.mainThreadAnswer = std::move(build);
        return outcome;
    };

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
    routes_.add("GET", "/api/playlists", Context::connectionThread, [this](const HttpRequest&, std::string_view) {
        return answer(document(QJsonDocument(WebLibrary::playlistsDocument(playlistsFolder_))));
    });

    addPostRoute("/api/playlist/add", [this, answerOnMain](const QJsonObject& body) {
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
        return answerOnMain([this, files] { return WebLibrary::addTracks(services_, files); });
    });
    addPostRoute("/api/playlist/remove", [this](const QJsonObject& body) {
        const auto index = webjson::integer(body, "index");
        if (!index)
            return answer(invalidJson());
        return answer(HttpResponse::ok(), [this, index = *index] {
            if (DMXController* controller = services_.dmxController.data())
                if (index >= 0 && index <= std::numeric_limits<int>::max())
                    controller->playlist().removeTracks({static_cast<int>(index)});
        });
    });
    addPostRoute("/api/playlist/repeat", [this](const QJsonObject& body) {
        const auto index = webjson::integer(body, "index");
        const auto count = webjson::integer(body, "count");
        if (!index || !count || *count < 0 || *count > std::numeric_limits<int>::max())
            return answer(invalidJson());
        return answer(HttpResponse::ok(), [this, index = *index, count = static_cast<int>(*count)] {
            if (DMXController* controller = services_.dmxController.data())
                if (index >= 0 && index <= std::numeric_limits<int>::max())
                    controller->playlist().setRepeatCount(static_cast<int>(index), count);
        });
    });
    const auto playlistRoute = [this, answerOnMain](std::string_view path, auto act) {
        addPostRoute(path, [this, answerOnMain, act](const QJsonObject& body) {
            const auto requested = webjson::string(body, "name");
            if (!requested)
                return answer(invalidJson());
            const auto fileName = WebLibrary::playlistFileName(*requested);
            if (!fileName)
                return answer(HttpResponse::plainText(400, "Invalid name: " + requested->toStdString()));
            return answerOnMain([this, act, fileName = *fileName] { return act(services_, playlistsFolder_, fileName); });
        });
    };
    playlistRoute("/api/playlist/save", &WebLibrary::savePlaylist);
    playlistRoute("/api/playlist/load", &WebLibrary::loadPlaylist);
}

} // namespace orvelo
