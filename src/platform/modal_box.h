// A modal box that a worker thread may end, from its own thread, before or while the box is shown.
#pragma once

class IModalBox {
public:
    virtual ~IModalBox() = default;
    virtual void EndDialog(int result) = 0;
};
