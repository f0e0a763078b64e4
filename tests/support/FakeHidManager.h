#pragma once

#include "platform/input/HidManager.h"

#include <cerrno>
#include <vector>

// Devices "present" are listed by the test; open() succeeds when one matches.
class FakeHidManagerFactory final : public HidManagerFactory {
public:
    class Manager final : public HidManager {
    public:
        Manager(FakeHidManagerFactory& owner, std::optional<std::pair<int, int>> wanted) : factory(owner), matching(wanted) {}
        ~Manager() override { factory.open = nullptr; }
        int open(bool seize) override
        {
            factory.opens.push_back({matching, seize});
            bool any = false;
            for (const HidDeviceInfo& device : factory.present) {
                if (!matching || (device.vendorID == matching->first && device.productID == matching->second)) {
                    any = true;
                    if (onDeviceMatched)
                        onDeviceMatched(device);
                }
            }
            factory.open = this;
            return any ? 0 : -ENODEV;
        }
        FakeHidManagerFactory& factory;
        std::optional<std::pair<int, int>> matching;
    };

    std::unique_ptr<HidManager> create(std::optional<std::pair<int, int>> matching) override
    {
        return std::make_unique<Manager>(*this, matching);
    }
    // Sends a value from the open manager, as its device would.
    void send(int page, int value, const HidDeviceInfo& device)
    {
        if (open && open->onValue)
            open->onValue(HidValue{page, value, device});
    }

    struct Open {
        std::optional<std::pair<int, int>> matching;
        bool seize;
    };
    std::vector<HidDeviceInfo> present;
    std::vector<Open> opens;
    Manager* open = nullptr;
};
