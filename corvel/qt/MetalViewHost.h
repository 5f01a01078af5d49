// What the GPU path needs of the terminal view it draws for: the widget to
// lay the drawing surface in, the caret widget to keep above it, the caret's
// pause and resume while the GPU path is on, the background colour every
// frame starts from, and whether frames are only queued (a throttled live
// resize). The terminal view implements it; the GPU side never owns
// the view. Declared beside the view (the GPU library sits above it).
#pragma once

#include <QColor>

class QWidget;

namespace corvel::qt {

class MetalViewHost {
public:
    virtual ~MetalViewHost() = default;

    // The terminal view itself.
    virtual QWidget* terminalWidget() = 0;
    // The caret widget, or null when the view has none.
    virtual QWidget* caretWidget() = 0;
    // GPU path on: stop the caret's blinking, make it opaque and hide it
    // (the renderer draws the cursor).
    virtual void suspendCaretForMetal() = 0;
    // GPU path off: show the caret again (blinking styles blink again,
    // steady ones are opaque) and redraw it.
    virtual void resumeCaretAfterMetal() = 0;
    // The view's native background colour.
    virtual QColor metalBackgroundColor() = 0;
    // Whether the view only queues GPU frames now (a live resize with the
    // throttle on): the drawing surface then follows a resize of the view
    // only with the queued frame, which draws the new size.
    virtual bool throttlesMetalFrames() const = 0;
};

}  // namespace corvel::qt
