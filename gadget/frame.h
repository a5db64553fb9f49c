// What every gadget kind's creation shares; private to the gadget library.
#pragma once

#include "gadget/gadget.h"

// The context, or null when no gadget list is current (a creation then returns 0 at once).
GadgetContext* CurrentGadgetList();

// Fills a kind's table on its first use.
void FillGadgetOps(GadgetOps& ops, bool& filled, GadgetKind kind, void (*fill)(GadgetOps&));

// Destroys a widget that was never put into a container.
void DiscardWidget(GtkWidget* widget);

// Claims the record for `number` (for Any, the number becomes the record's address). When no
// record can be had, the widget just made is discarded and null returned.
GadgetRecord* ClaimGadget(intptr_t& number, GtkWidget* made);

// Hands a non-null runtime text to the kind's setText.
void SetGadgetText(GadgetRecord* gadget, const char16_t* text);

// The last step of every creation: realize, clear the option chain, apply the default font,
// connect the destroy handler, attach "qx_id", let the toolkit draw. Returns the creation's
// result.
intptr_t RegisterGadget(GadgetRecord* gadget, intptr_t number, bool numberWasAny);

// The label inside a button, checkbox or option gadget.
GtkWidget* GadgetLabel(GadgetRecord* gadget);

// The font entries and text entries that the labelled kinds share.
void SetLabelFont(GadgetRecord* gadget, PangoFontDescription* font);
PangoFontDescription* GetLabelFont(GadgetRecord* gadget);
int64_t GetLabelText(GadgetRecord* gadget, int64_t position);
void SetLabelText(GadgetRecord* gadget, const char* utf8);

// Connects a handler the way every gadget signal is connected: the number as data.
void ConnectGadgetSignal(GtkWidget* widget, const char* signal, GtkSignalFunc handler,
                         intptr_t number);

// Posts a Gadget event unless a CloseWindow event waits at the head of the queue.
void PostGadgetEventUnlessClosing(intptr_t number, GtkWidget* widget, intptr_t type);
