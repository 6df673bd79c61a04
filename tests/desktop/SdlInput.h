#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

// What a person does at the window, put on SDL's event queue as the window system would.
namespace desktop_testing {

inline void pushEvent(SDL_Event event) {
    event.common.timestamp = SDL_GetTicks();
    ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
}

// A left click (press and release) at pixel (x, y) of the window.
inline void pushClick(Uint32 window, int x, int y) {
    for (auto type : {SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP}) {
        SDL_Event event{};
        event.type = type;
        event.button.windowID = window;
        event.button.button = SDL_BUTTON_LEFT;
        event.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
        event.button.x = x;
        event.button.y = y;
        pushEvent(event);
    }
}

inline void pushText(Uint32 window, const std::string& text) {
    SDL_Event event{};
    event.type = SDL_TEXTINPUT;
    event.text.windowID = window;
    std::snprintf(event.text.text, sizeof event.text.text, "%s", text.c_str());
    pushEvent(event);
}

inline void pushKey(Uint32 window, SDL_Keycode code) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.windowID = window;
    event.key.keysym.sym = code;
    pushEvent(event);
}

}  // namespace desktop_testing
