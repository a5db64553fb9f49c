// The gadget library: controls at fixed positions in a window's gadget list, addressed by
// number, their state, and the events they post.
#pragma once

#include "runtime/runtime.h"

#include <cstddef>
#include <cstdint>
#include <gtk/gtk.h>

// ---------------------------------------------------------------------------------------------
// Records and operation tables

struct GadgetRecord;

// One table per gadget kind; the generic operations dispatch through it. An entry left null
// makes the generic operation do nothing and return 0. The reserved positions stay null.
struct GadgetOps {
    int32_t size;
    int32_t kind;
    void (*reserved0)();
    void (*release)(GadgetRecord* gadget);
    intptr_t (*getState)(GadgetRecord* gadget);
    void (*setState)(GadgetRecord* gadget, intptr_t value);
    int64_t (*getText)(GadgetRecord* gadget, int64_t position);
    void (*setText)(GadgetRecord* gadget, const char* utf8);
    void (*reserved6to15[10])();
    void (*setFont)(GadgetRecord* gadget, PangoFontDescription* font);
    void (*reserved17to29[13])();
    PangoFontDescription* (*getFont)(GadgetRecord* gadget);
    void (*reserved31)();
};
static_assert(offsetof(GadgetOps, release) == 8 + 1 * sizeof(void*));
static_assert(offsetof(GadgetOps, setText) == 8 + 5 * sizeof(void*));
static_assert(offsetof(GadgetOps, setFont) == 8 + 16 * sizeof(void*));
static_assert(offsetof(GadgetOps, getFont) == 8 + 30 * sizeof(void*));
static_assert(sizeof(GadgetOps) == 8 + 32 * sizeof(void*));

enum GadgetKind : int32_t {
    ButtonKind = 1,
    CheckBoxKind = 4,
    OptionKind = 5,
    ImageKind = 9,
};

struct GadgetRecord {
    GtkWidget* widget; // non-null while the gadget exists
    GtkWidget* outer;  // what was put into the gadget list when it is not `widget`
    const GadgetOps* ops;
    intptr_t data; // checkbox: its flags; image gadget: the image handle shown
};
static_assert(offsetof(GadgetRecord, widget) == 0);
static_assert(offsetof(GadgetRecord, outer) == 8);
static_assert(offsetof(GadgetRecord, ops) == 16);
static_assert(offsetof(GadgetRecord, data) == 24);

// Where new gadgets go, and the state that the kinds share.
struct GadgetContext {
    GtkWidget* container; // the GtkFixed of the current gadget list; null when there is none
    PangoFontDescription* defaultFont;
    GtkWidget* lastOption; // the radio button of the last gadget made, if it was an option
    GtkWidget* owner;      // the window whose gadget list is current
};

extern ObjectTable* QX_Gadget_Objects;
extern GadgetContext* QX_Gadget_Globals;
extern GtkStyle* QX_Gadget_DefaultStyle;

void InitGadgetLibrary();

// Makes the gadget list of a window (a GtkWindow) the one new gadgets go into, creating the list
// when the window has none.
void UseGadgetList(GtkWidget* window);

// ---------------------------------------------------------------------------------------------
// Creation. Each returns the gadget's widget, or the new number when `number` is Any, or 0 when
// no gadget list is current or the toolkit makes no widget.

struct ButtonFlags {
    static constexpr int32_t TextRight = 1;
    static constexpr int32_t TextLeft = 2;
    static constexpr int32_t Toggle = 4;
    static constexpr int32_t MultiLine = 16;
};

struct CheckBoxFlags {
    static constexpr int32_t TextRight = 1;
    static constexpr int32_t TextCenter = 2;
    static constexpr int32_t ThreeState = 4;
};

intptr_t ButtonGadget(intptr_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                      const char16_t* text, int32_t flags = 0);
intptr_t CheckBoxGadget(intptr_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                        const char16_t* text, int32_t flags = 0);
// Joins the radio group of the option gadget made just before it, when nothing else was made in
// between; otherwise starts a new group, selected.
intptr_t OptionGadget(intptr_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                      const char16_t* text);

struct ImageGadgetFlags {
    static constexpr int32_t BorderSunken = 1; // frame with GTK_SHADOW_IN
    static constexpr int32_t BorderRaised = 2; // frame with GTK_SHADOW_OUT; wins over sunken
};

// Shows `image` (an image handle, or null) at its own size, or an empty area of width x height
// when there is none. Reports clicks, double clicks and drag starts as Gadget events.
intptr_t ImageGadget(intptr_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                     GdkPixbuf* image, int32_t flags = 0);

// ---------------------------------------------------------------------------------------------
// Generic operations

// Button: 1 while a toggle button is pressed in. Checkbox: 1, 0, or -1 when mixed. Option: 1
// when selected. 0 for a number that holds no gadget.
intptr_t GetGadgetState(intptr_t number);

// Gives the gadget the keyboard focus within its window.
void SetActiveGadget(intptr_t number);

// Sets one gadget's font, or with number Any the font of gadgets made from now on. A font of
// DefaultGadgetFont (or null) stands for the toolkit's default font.
void SetGadgetFont(intptr_t number, PangoFontDescription* font);
inline PangoFontDescription* const DefaultGadgetFont =
    reinterpret_cast<PangoFontDescription*>(intptr_t{-1});
// The font a labelled gadget shows: the one last set, else its style's (the toolkit's). Null for
// a number that holds no labelled gadget.
PangoFontDescription* GetGadgetFont(intptr_t number);
// A labelled gadget's text laid out in `font`, and the width its gadget leaves that text (the
// toolkit cuts what is wider), in pixels; 0 for a number that holds no labelled gadget.
int32_t GadgetTextWidth(intptr_t number, const PangoFontDescription* font);
int32_t GadgetTextRoom(intptr_t number);

// Frees one gadget, or every gadget for Any.
void QX_FreeGadget(intptr_t number);

// ---------------------------------------------------------------------------------------------
// Gadget events: kind Gadget in the event queue, with one of these types.

enum GadgetEventType : intptr_t {
    EventTypeLeftClick = 0,
    EventTypeRightClick = 1,
    EventTypeLeftDoubleClick = 2,
    EventTypeRightDoubleClick = 3,
    EventTypeDragStart = 2048,
};

// The number of the window holding a widget: -1 without a toplevel, 0 when it carries none.
intptr_t WidgetWindowNumber(GtkWidget* widget);

// "clicked" of a button gadget; the user data is the gadget number.
void QX_Gadget_EventHandler(GtkWidget* widget, gpointer number);
// Posts a Gadget event for the gadget whose widget this is, unless a CloseWindow event waits at
// the head of the queue.
void PostWidgetEvent(GtkWidget* widget, intptr_t type);
// Button presses and releases on an image gadget's event box; the user data is the number.
gboolean QX_Gadget_MouseHandler(GtkWidget* widget, GdkEventButton* event, gpointer number);

// The state a drag-start detector keeps on its widget, freed with the widget.
struct DragTracker {
    intptr_t number;
    int32_t armed;
    int32_t started;
    int32_t x;
    int32_t y;
};
static_assert(sizeof(DragTracker) == 24);

// Posts one EventTypeDragStart event per left press once the pointer has moved past the
// toolkit's drag threshold.
void InstallDragStartDetector(GtkWidget* widget, intptr_t number);
