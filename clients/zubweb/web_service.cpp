// zubweb's changers and HTTP server, put together.
#include "clients/zubweb/web_service.h"

WebService::WebService(const std::vector<WebRemote>& remotes) {
    std::vector<WebChanger> served;
    for (const WebRemote& remote : remotes) {
        changers_.push_back(std::make_unique<Changer>(remote, &bell_));
        WebChanger changer;
        changer.name = WebRemoteName(remote);
        changer.host = remote.host;
        changer.port = remote.port;
        changer.link = &changers_.back()->link;
        changer.watch = &changers_.back()->watch;
        changer.commandLink = &changers_.back()->commandLink;
        served.push_back(changer);
        where_ += (where_.empty() ? "" : ", ") + changer.link->Where();
    }
    server_ = std::make_unique<WebServer>(served, &bell_);
}

WebService::~WebService() {
    if (serving_.joinable()) {
        server_->Stop();
        serving_.join();
    }
    for (auto& changer : changers_) {
        changer->watch.Stop();
    }
}

int WebService::Listen(const std::string& address, uint16_t port) {
    int bound = server_->Bind(address, port);
    if (bound == 0) {
        return 0;
    }
    for (auto& changer : changers_) {
        changer->watch.Start();
    }
    return bound;
}

bool WebService::Run() {
    return server_->Run();
}

void WebService::Start() {
    serving_ = std::thread([this] { server_->Run(); });
}

void WebService::Stop() {
    server_->Stop();
}
