// Button, checkbox and option gadgets: their widgets, state and the events they post.
#include "gadget/frame.h"
#include "window/window.h"

namespace {

GadgetOps buttonOps, checkBoxOps, optionOps;
bool buttonOpsFilled = false, checkBoxOpsFilled = false, optionOpsFilled = false;

GtkToggleButton* Toggle(GadgetRecord* gadget) {
    return GTK_TOGGLE_BUTTON(gadget->widget);
}

// A toolkit truth value from a machine word: any non-zero low 32 bits select, so -1 selects.
gboolean Truth(intptr_t value) {
    return static_cast<int32_t>(value) != 0;
}

void FillLabelled(GadgetOps& ops) {
    ops.getText = GetLabelText;
    ops.setText = SetLabelText;
    ops.setFont = SetLabelFont;
    ops.getFont = GetLabelFont;
}

// Buttons

intptr_t ButtonGetState(GadgetRecord* gadget) {
    return GTK_IS_TOGGLE_BUTTON(gadget->widget) && gtk_toggle_button_get_active(Toggle(gadget));
}

void ButtonSetState(GadgetRecord* gadget, intptr_t value) {
    if (!GTK_IS_TOGGLE_BUTTON(gadget->widget)) return;
    SuspendEvents();
    gtk_toggle_button_set_active(Toggle(gadget), Truth(value));
    ResumeEvents();
}

void FillButtonOps(GadgetOps& ops) {
    ops.getState = ButtonGetState;
    ops.setState = ButtonSetState;
    FillLabelled(ops);
}

// The label of a MultiLine button wraps within whatever the button is given.
void OnMultiLineAllocated(GtkWidget* button, GtkAllocation* allocation, gpointer) {
    if (GtkWidget* label = gtk_bin_get_child(GTK_BIN(button)))
        gtk_widget_set_usize(label, allocation->width, allocation->height);
}

// Checkboxes

intptr_t CheckBoxGetState(GadgetRecord* gadget) {
    if ((gadget->data & CheckBoxFlags::ThreeState) &&
        gtk_toggle_button_get_inconsistent(Toggle(gadget)))
        return -1;
    return gtk_toggle_button_get_active(Toggle(gadget)) ? 1 : 0;
}

void CheckBoxSetState(GadgetRecord* gadget, intptr_t value) {
    SuspendEvents();
    gtk_toggle_button_set_active(Toggle(gadget), Truth(value));
    if (gadget->data & CheckBoxFlags::ThreeState)
        gtk_toggle_button_set_inconsistent(Toggle(gadget), value == -1);
    ResumeEvents();
}

void FillCheckBoxOps(GadgetOps& ops) {
    ops.getState = CheckBoxGetState;
    ops.setState = CheckBoxSetState;
    FillLabelled(ops);
}

void OnCheckBoxToggled(GtkWidget* check, gpointer number) {
    auto* toggle = GTK_TOGGLE_BUTTON(check);
    // A click on a mixed checkbox always leaves it checked.
    if (gtk_toggle_button_get_inconsistent(toggle)) {
        SuspendEvents();
        gtk_toggle_button_set_inconsistent(toggle, FALSE);
        gtk_toggle_button_set_active(toggle, TRUE);
        ResumeEvents();
    }
    PostGadgetEventUnlessClosing(reinterpret_cast<intptr_t>(number), check, EventTypeLeftClick);
}

// Options

intptr_t OptionGetState(GadgetRecord* gadget) {
    return gtk_toggle_button_get_active(Toggle(gadget)) ? 1 : 0;
}

// Selecting by program posts the option's event like a user's choice does.
void OptionSetState(GadgetRecord* gadget, intptr_t value) {
    gtk_toggle_button_set_active(Toggle(gadget), Truth(value));
}

void FillOptionOps(GadgetOps& ops) {
    ops.getState = OptionGetState;
    ops.setState = OptionSetState;
    FillLabelled(ops);
}

// Only the option that became selected reports; the one that lost the selection is silent.
void OnOptionToggled(GtkWidget* radio, gpointer) {
    if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(radio)))
        PostWidgetEvent(radio, EventTypeLeftClick);
}

// Claims the record, puts the widget into the gadget list at its place and size and fills the
// record's widget and operations; null when no record can be had.
GadgetRecord* PlaceGadget(GadgetContext* context, intptr_t& number, GtkWidget* widget,
                          const GadgetOps& ops, int32_t x, int32_t y, int32_t width,
                          int32_t height) {
    GadgetRecord* gadget = ClaimGadget(number, widget);
    if (!gadget) return nullptr;
    gtk_fixed_put(GTK_FIXED(context->container), widget, x, y);
    gtk_widget_set_usize(widget, width, height);
    gadget->widget = widget;
    gadget->ops = &ops;
    return gadget;
}

void AlignLabel(GadgetRecord* gadget, float x) {
    if (GtkWidget* label = GadgetLabel(gadget)) gtk_misc_set_alignment(GTK_MISC(label), x, 0.5f);
}

} // namespace

intptr_t ButtonGadget(intptr_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                      const char16_t* text, int32_t flags) {
    GadgetContext* context = CurrentGadgetList();
    if (!context) return 0;
    FillGadgetOps(buttonOps, buttonOpsFilled, ButtonKind, FillButtonOps);
    GtkWidget* button = (flags & ButtonFlags::Toggle) ? gtk_toggle_button_new_with_label("")
                                                      : gtk_button_new_with_label("");
    if (!button) return 0;
    bool any = number == Any;
    GadgetRecord* gadget = PlaceGadget(context, number, button, buttonOps, x, y, width, height);
    if (!gadget) return 0;
    gtk_widget_show(button);
    if (flags & ButtonFlags::TextRight)
        AlignLabel(gadget, 1.0f);
    else if (flags & ButtonFlags::TextLeft)
        AlignLabel(gadget, 0.0f);
    if (flags & ButtonFlags::MultiLine) {
        if (GtkWidget* label = GadgetLabel(gadget)) {
            gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
            gtk_widget_set_size_request(label, width, height);
        }
        ConnectGadgetSignal(button, "size-allocate", GTK_SIGNAL_FUNC(OnMultiLineAllocated), number);
    }
    ConnectGadgetSignal(button, "clicked", GTK_SIGNAL_FUNC(QX_Gadget_EventHandler), number);
    SetGadgetText(gadget, text);
    return RegisterGadget(gadget, number, any);
}

intptr_t CheckBoxGadget(intptr_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                        const char16_t* text, int32_t flags) {
    GadgetContext* context = CurrentGadgetList();
    if (!context) return 0;
    FillGadgetOps(checkBoxOps, checkBoxOpsFilled, CheckBoxKind, FillCheckBoxOps);
    GtkWidget* check = gtk_check_button_new_with_label("");
    if (!check) return 0;
    bool any = number == Any;
    GadgetRecord* gadget = PlaceGadget(context, number, check, checkBoxOps, x, y, width, height);
    if (!gadget) return 0;
    gadget->data = flags;
    if (flags & CheckBoxFlags::TextRight)
        AlignLabel(gadget, 1.0f);
    else if (flags & CheckBoxFlags::TextCenter)
        AlignLabel(gadget, 0.5f);
    ConnectGadgetSignal(check, "toggled", GTK_SIGNAL_FUNC(OnCheckBoxToggled), number);
    SetGadgetText(gadget, text);
    gtk_widget_show(check);
    return RegisterGadget(gadget, number, any);
}

intptr_t OptionGadget(intptr_t number, int32_t x, int32_t y, int32_t width, int32_t height,
                      const char16_t* text) {
    GadgetContext* context = CurrentGadgetList();
    if (!context) return 0;
    FillGadgetOps(optionOps, optionOpsFilled, OptionKind, FillOptionOps);
    GSList* group = context->lastOption
                        ? gtk_radio_button_get_group(GTK_RADIO_BUTTON(context->lastOption))
                        : nullptr;
    GtkWidget* radio = gtk_radio_button_new_with_label(group, "");
    if (!radio) return 0;
    bool any = number == Any;
    GadgetRecord* gadget = PlaceGadget(context, number, radio, optionOps, x, y, width, height);
    if (!gadget) return 0;
    ConnectGadgetSignal(radio, "toggled", GTK_SIGNAL_FUNC(OnOptionToggled), number);
    SetGadgetText(gadget, text);
    gtk_widget_show(radio);
    intptr_t result = RegisterGadget(gadget, number, any);
    context->lastOption = radio;
    return result;
}
