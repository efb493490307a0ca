// Whether a key is held down at this moment, whatever window has the keyboard focus.
#pragma once

namespace platform {

class IKeyState {
public:
    virtual ~IKeyState() = default;
    virtual bool IsEscapeDown() = 0;
};

}  // namespace platform
