#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace ui {

// Error handling shared by the JPEG decoder and encoder (private to the image code).
// libjpeg's error_exit must not return: this one keeps the message and longjmps to the
// setjmp of the call that started the work, which destroys the codec state and reports.
// Warnings ("premature end of data", "extraneous bytes") are common in camera and web
// files and still give a usable picture, so they stay off stderr.
struct JPEGErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];

    // Sets up the manager and returns what goes into the codec struct's `err`.
    jpeg_error_mgr* attach();
};

}  // namespace ui
