#pragma once

#include "platform/input/InputEvents.h"

#include <map>
#include <memory>

// Scripted global input: press() runs every installed mouse-down handler, keyCount is what the counter
// reads.
class FakeInputEvents final : public InputEvents {
public:
    std::uint32_t keyCount = 0;

    std::unique_ptr<Monitor> addMouseDownMonitor(std::function<void()> handler) override
    {
        const int id = nextId_++;
        (*handlers_)[id] = std::move(handler);
        return std::make_unique<Token>(handlers_, id);
    }
    std::uint32_t keyDownCount() override { return keyCount; }

    void press()
    {
        const auto handlers = *handlers_;
        for (const auto& entry : handlers)
            entry.second();
    }

private:
    using Handlers = std::map<int, std::function<void()>>;
    class Token final : public Monitor {
    public:
        Token(std::shared_ptr<Handlers> handlers, int id) : handlers_(std::move(handlers)), id_(id) {}
        ~Token() override { handlers_->erase(id_); }

    private:
        std::shared_ptr<Handlers> handlers_;
        int id_;
    };

    std::shared_ptr<Handlers> handlers_ = std::make_shared<Handlers>();
    int nextId_ = 1;
};
