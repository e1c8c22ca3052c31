#pragma once
// Puts a test's setup bytes or map values into a session the way a Read or an Open does (a whole
// image or every map handed over; nothing is sent, the edit history starts anew).
#include "connection/Session.h"

template <class F> void editImage(Session &s, F change) {
    EmuImage image = s.image();
    change(image);
    s.loadImage(image);
}

template <class F> void editMaps(Session &s, F change) {
    EmuMaps maps = s.maps();
    change(maps);
    s.adoptMaps(maps);
}
