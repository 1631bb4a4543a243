#include "ndi/NDIRuntime.h"

#include <cstdlib>

#include <dlfcn.h>

namespace orvelo {

std::vector<std::string> NDIRuntime::defaultCandidates()
{
    std::vector<std::string> candidates;
    for (const auto& [variable, file] :
         {std::pair{"NDI_RUNTIME_DIR_V6", "libndi.so.6"}, std::pair{"NDI_RUNTIME_DIR_V5", "libndi.so.5"}}) {
        const char* folder = std::getenv(variable);
        if (folder && *folder)
            candidates.push_back(std::string(folder) + "/" + file);
    }
    candidates.emplace_back("libndi.so.6");
    candidates.emplace_back("libndi.so.5");
    return candidates;
}

NDIRuntime::NDIRuntime(const std::vector<std::string>& candidates)
{
    for (const auto& candidate : candidates) {
        void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            continue;
        initialize_ = reinterpret_cast<InitializeFn>(dlsym(handle, "NDIlib_initialize"));
        destroy_ = reinterpret_cast<DestroyFn>(dlsym(handle, "NDIlib_destroy"));
        sendCreate_ = reinterpret_cast<SendCreateFn>(dlsym(handle, "NDIlib_send_create"));
        sendVideo_ = reinterpret_cast<SendVideoFn>(dlsym(handle, "NDIlib_send_send_video_v2"));
        sendDestroy_ = reinterpret_cast<SendDestroyFn>(dlsym(handle, "NDIlib_send_destroy"));
        if (initialize_ && destroy_ && sendCreate_ && sendVideo_ && sendDestroy_) {
            handle_ = handle;
            path_ = candidate;
            return;
        }
        dlclose(handle);
    }
    initialize_ = nullptr;
    destroy_ = nullptr;
    sendCreate_ = nullptr;
    sendVideo_ = nullptr;
    sendDestroy_ = nullptr;
}

NDIRuntime::~NDIRuntime()
{
    shutDown();
    if (handle_)
        dlclose(handle_);
}

bool NDIRuntime::initialize()
{
    if (!handle_)
        return false;
    if (!initialized_)
        initialized_ = initialize_();
    return initialized_;
}

void NDIRuntime::shutDown()
{
    if (!initialized_)
        return;
    initialized_ = false;
    destroy_();
}

void* NDIRuntime::createSender(const ndi::SendCreate& settings)
{
    return handle_ ? sendCreate_(&settings) : nullptr;
}

void NDIRuntime::sendVideo(void* sender, const ndi::VideoFrameV2& frame)
{
    if (handle_ && sender)
        sendVideo_(sender, &frame);
}

void NDIRuntime::destroySender(void* sender)
{
    if (handle_ && sender)
        sendDestroy_(sender);
}

NDISender::NDISender(std::shared_ptr<NDIRuntime> runtime, void* instance)
    : runtime_(std::move(runtime)), instance_(instance)
{
}

NDISender::~NDISender()
{
    runtime_->destroySender(instance_);
}

void NDISender::sendVideo(const ndi::VideoFrameV2& frame)
{
    runtime_->sendVideo(instance_, frame);
}

} // namespace orvelo
