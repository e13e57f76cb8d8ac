#pragma once
#include "platform/clock.h"
#include "platform/disk.h"
#include "platform/notices.h"
#include "platform/portstore.h"
#include "platform/serialline.h"
#include "platform/ui.h"

namespace plat {

// Everything the windows take from the system, handed to them by main() or by a test.
struct Platform {
    Clock& clock;
    Ui& ui;
    PortSystem& ports;
    PortStore& store;
    Notices& notices;
    Disk& disk;
};

}  // namespace plat
