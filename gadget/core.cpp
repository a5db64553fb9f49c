// The gadget table, the gadget context and gadget lists, the creation frame, freeing, state
// and fonts.
#include "gadget/frame.h"
#include "window/window.h"

ObjectTable* QX_Gadget_Objects = nullptr;
GadgetContext* QX_Gadget_Globals = nullptr;
GtkStyle* QX_Gadget_DefaultStyle = nullptr;

namespace {

// The saved gadget-list state of a window, attached under "qx_gadgetstack".
struct GadgetListState {
    GtkWidget* owner;
    GtkWidget* container;
};

GadgetContext* Context() {
    return static_cast<GadgetContext*>(GetGlobalsBlock(QX_Gadget_Globals));
}

// No gadget list is current once its window is gone.
void ForgetOwner(GtkWidget* window) {
    GadgetContext* context = Context();
    if (context && context->owner == window) {
        context->owner = nullptr;
        context->container = nullptr;
    }
}

// The window's attached data goes only when the window is finalised, which a reference held
// elsewhere can put off; its gadget list is destroyed with the window, so it is forgotten then.
void OnListWindowDestroyed(GtkWidget* window, gpointer) {
    ForgetOwner(window);
}

void ReleaseGadgetListState(gpointer state) {
    FreeBlock(state);
}

void FindLastChild(GtkWidget* child, gpointer last) {
    *static_cast<GtkWidget**>(last) = child;
}

void OnGadgetDestroyed(GtkWidget* widget, gpointer data) {
    auto number = reinterpret_cast<intptr_t>(data);
    auto* gadget = static_cast<GadgetRecord*>(GetObject(QX_Gadget_Objects, number));
    if (gadget && gadget->ops && gadget->ops->release) gadget->ops->release(gadget);
    // A later option gadget must never ask a destroyed radio button for its group.
    GadgetContext* context = Context();
    if (context && context->lastOption == widget) context->lastOption = nullptr;
    FreeObject(QX_Gadget_Objects, number);
}

} // namespace

void InitGadgetLibrary() {
    QX_Gadget_Objects = NewObjectTable(sizeof(GadgetRecord), 16, QX_FreeGadget);
    QX_Gadget_Globals =
        static_cast<GadgetContext*>(NewGlobalsBlock(sizeof(GadgetContext), nullptr));
    QX_Gadget_DefaultStyle = gtk_widget_get_default_style();
}

void UseGadgetList(GtkWidget* window) {
    GadgetContext* context = Context();
    if (!context || !window) return;
    if (context->owner) {
        auto* saved = static_cast<GadgetListState*>(
            gtk_object_get_data(GTK_OBJECT(context->owner), "qx_gadgetstack"));
        if (saved) saved->container = context->container;
    }
    auto* list = static_cast<GtkWidget*>(gtk_object_get_data(GTK_OBJECT(window), "qx_gadgetlist"));
    if (!list) {
        list = gtk_fixed_new();
        gtk_fixed_set_has_window(GTK_FIXED(list), TRUE);
        gtk_widget_show(list);
        GtkWidget* box = nullptr;
        gtk_container_foreach(GTK_CONTAINER(window), FindLastChild, &box);
        if (box && GTK_IS_BOX(box)) gtk_box_pack_start(GTK_BOX(box), list, TRUE, TRUE, 0);
        gtk_object_set_data(GTK_OBJECT(window), "qx_gadgetlist", list);
    }
    auto* state =
        static_cast<GadgetListState*>(gtk_object_get_data(GTK_OBJECT(window), "qx_gadgetstack"));
    if (state) {
        context->container = state->container;
    } else {
        context->container = list;
        state = static_cast<GadgetListState*>(AllocateBlock(sizeof(GadgetListState)));
        if (state) {
            state->owner = window;
            gtk_object_set_data_full(GTK_OBJECT(window), "qx_gadgetstack", state,
                                     ReleaseGadgetListState);
            gtk_signal_connect_full(GTK_OBJECT(window), "destroy",
                                    GTK_SIGNAL_FUNC(OnListWindowDestroyed), nullptr, nullptr,
                                    nullptr, FALSE, FALSE);
        }
    }
    context->owner = window;
}

GadgetContext* CurrentGadgetList() {
    GadgetContext* context = Context();
    return context && context->container ? context : nullptr;
}

void FillGadgetOps(GadgetOps& ops, bool& filled, GadgetKind kind, void (*fill)(GadgetOps&)) {
    if (filled) return;
    ops = GadgetOps{};
    ops.size = sizeof(GadgetOps);
    ops.kind = kind;
    fill(ops);
    filled = true;
}

void DiscardWidget(GtkWidget* widget) {
    g_object_ref_sink(widget);
    gtk_widget_destroy(widget);
    g_object_unref(widget);
}

GadgetRecord* ClaimGadget(intptr_t& number, GtkWidget* made) {
    auto* gadget = static_cast<GadgetRecord*>(AllocateObject(QX_Gadget_Objects, number));
    if (!gadget) {
        DiscardWidget(made);
        return nullptr;
    }
    if (number == Any) number = reinterpret_cast<intptr_t>(gadget);
    return gadget;
}

void SetGadgetText(GadgetRecord* gadget, const char16_t* text) {
    if (!text || !gadget->ops->setText) return;
    char* utf8 = ToToolkitText(text);
    gadget->ops->setText(gadget, utf8);
    FreeToolkitText(utf8);
}

void ConnectGadgetSignal(GtkWidget* widget, const char* signal, GtkSignalFunc handler,
                         intptr_t number) {
    gtk_signal_connect_full(GTK_OBJECT(widget), signal, handler, nullptr,
                            reinterpret_cast<gpointer>(number), nullptr, FALSE, FALSE);
}

intptr_t RegisterGadget(GadgetRecord* gadget, intptr_t number, bool numberWasAny) {
    GadgetContext* context = Context();
    gtk_widget_realize(gadget->widget);
    context->lastOption = nullptr;
    if (context->defaultFont) SetGadgetFont(number, context->defaultFont);
    ConnectGadgetSignal(gadget->widget, "destroy", GTK_SIGNAL_FUNC(OnGadgetDestroyed), number);
    gtk_object_set_data(GTK_OBJECT(gadget->widget), "qx_id",
                        reinterpret_cast<gpointer>(number + 1));
    FlushToolkitEvents();
    return numberWasAny ? number : reinterpret_cast<intptr_t>(gadget->widget);
}

void QX_FreeGadget(intptr_t number) {
    if (number == Any) {
        FreeAllObjects(QX_Gadget_Objects);
        return;
    }
    auto* gadget = static_cast<GadgetRecord*>(GetObject(QX_Gadget_Objects, number));
    if (!gadget) return;
    gtk_widget_destroy(gadget->outer ? gadget->outer : gadget->widget);
}

intptr_t GetGadgetState(intptr_t number) {
    auto* gadget = static_cast<GadgetRecord*>(GetObject(QX_Gadget_Objects, number));
    if (!gadget || !gadget->ops || !gadget->ops->getState) return 0;
    return gadget->ops->getState(gadget);
}

void SetActiveGadget(intptr_t number) {
    auto* gadget = static_cast<GadgetRecord*>(GetObject(QX_Gadget_Objects, number));
    if (gadget) gtk_widget_grab_focus(gadget->widget);
}

void SetGadgetFont(intptr_t number, PangoFontDescription* font) {
    if (font == DefaultGadgetFont) font = nullptr;
    if (number == Any) {
        if (GadgetContext* context = Context()) context->defaultFont = font;
        return;
    }
    auto* gadget = static_cast<GadgetRecord*>(GetObject(QX_Gadget_Objects, number));
    if (gadget && gadget->ops && gadget->ops->setFont) gadget->ops->setFont(gadget, font);
}

PangoFontDescription* GetGadgetFont(intptr_t number) {
    auto* gadget = static_cast<GadgetRecord*>(GetObject(QX_Gadget_Objects, number));
    if (!gadget || !gadget->ops || !gadget->ops->getFont) return nullptr;
    return gadget->ops->getFont(gadget);
}

namespace {

// The width that a labelled gadget's widget leaves its label, from the style properties that the
// toolkit lays the label out by: every kind gives up its border, focus line and focus padding on
// both sides; a checkbox or option its indicator with the spacing around it, a button its frame
// and inner border.
int32_t LabelRoom(GtkWidget* widget, GtkWidget* label) {
    gint width = 0, focusWidth = 0, focusPad = 0, xpad = 0;
    gtk_widget_get_size_request(widget, &width, nullptr);
    gtk_widget_style_get(widget, "focus-line-width", &focusWidth, "focus-padding", &focusPad,
                         nullptr);
    gtk_misc_get_padding(GTK_MISC(label), &xpad, nullptr);
    const gint border = static_cast<gint>(gtk_container_get_border_width(GTK_CONTAINER(widget)));
    gint taken = 2 * (border + focusWidth + focusPad + xpad);
    if (GTK_IS_CHECK_BUTTON(widget)) {
        gint indicatorSize = 0, indicatorSpacing = 0;
        gtk_widget_style_get(widget, "indicator-size", &indicatorSize, "indicator-spacing",
                             &indicatorSpacing, nullptr);
        taken += indicatorSize + 3 * indicatorSpacing;
    } else {
        GtkBorder* inner = nullptr;
        gtk_widget_style_get(widget, "inner-border", &inner, nullptr);
        taken += 2 * gtk_widget_get_style(widget)->xthickness; // a button's frame
        taken += inner ? inner->left + inner->right : 2;       // the toolkit's default is 1 a side
        if (inner) gtk_border_free(inner);
    }
    return width - taken;
}

// The label of a labelled gadget, or null.
GtkWidget* LabelOf(intptr_t number) {
    auto* gadget = static_cast<GadgetRecord*>(GetObject(QX_Gadget_Objects, number));
    return gadget && gadget->ops && gadget->ops->getFont ? GadgetLabel(gadget) : nullptr;
}

} // namespace

int32_t GadgetTextWidth(intptr_t number, const PangoFontDescription* font) {
    GtkWidget* label = LabelOf(number);
    if (!label) return 0;
    PangoLayout* layout =
        gtk_widget_create_pango_layout(label, gtk_label_get_text(GTK_LABEL(label)));
    pango_layout_set_font_description(layout, font);
    int width = 0;
    pango_layout_get_pixel_size(layout, &width, nullptr);
    g_object_unref(layout);
    return width;
}

int32_t GadgetTextRoom(intptr_t number) {
    GtkWidget* label = LabelOf(number);
    return label ? LabelRoom(gtk_widget_get_parent(label), label) : 0;
}

GtkWidget* GadgetLabel(GadgetRecord* gadget) {
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(gadget->widget));
    return child && GTK_IS_LABEL(child) ? child : nullptr;
}

void SetLabelFont(GadgetRecord* gadget, PangoFontDescription* font) {
    GtkWidget* label = GadgetLabel(gadget);
    if (!label) return;
    gtk_object_set_data(GTK_OBJECT(label), "qx_gadget_font", font);
    gtk_widget_modify_font(label, font);
}

PangoFontDescription* GetLabelFont(GadgetRecord* gadget) {
    GtkWidget* label = GadgetLabel(gadget);
    GtkStyle* style = label ? gtk_widget_get_style(label) : nullptr;
    if (!style) return nullptr;
    auto* font = static_cast<PangoFontDescription*>(
        gtk_object_get_data(GTK_OBJECT(label), "qx_gadget_font"));
    return font ? font : style->font_desc;
}

int64_t GetLabelText(GadgetRecord* gadget, int64_t position) {
    GtkWidget* label = GadgetLabel(gadget);
    return FromToolkitText(label ? gtk_label_get_text(GTK_LABEL(label)) : nullptr, position);
}

void SetLabelText(GadgetRecord* gadget, const char* utf8) {
    if (GtkWidget* label = GadgetLabel(gadget)) gtk_label_set_text(GTK_LABEL(label), utf8);
}
