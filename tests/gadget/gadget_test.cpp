// Gadgets in a real window under the virtual X server: groups, events, state, lifetimes, fonts,
// and the image gadget's size and mouse reporting, driven by real pointer actions.
#include "gadget/gadget.h"
#include "tests/support/gui.h"
#include "window/window.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr intptr_t kWindow = 4;

struct Posted {
    int32_t kind;
    intptr_t object, type;
    bool operator==(const Posted&) const = default;
};

// The Gadget events queued so far (and, with `clicks`, the window's clicks); empties the queue.
std::vector<Posted> Posts(bool clicks = false) {
    std::vector<Posted> events;
    intptr_t object = 0, window = 0, type = 0;
    void* data = nullptr;
    EventFreeFunction freeData = nullptr;
    while (int32_t kind = PopEvent(&object, &window, &type, &data, &freeData)) {
        if (kind == Gadget) {
            EXPECT_EQ(window, kWindow); // the window that holds the gadget
        }
        bool click = clicks && (kind == LeftClick || kind == RightClick);
        if (kind == Gadget || click)
            events.push_back({kind, kind == Gadget ? object : window, type});
    }
    return events;
}

// One Gadget event of the test window's gadget.
std::vector<Posted> One(intptr_t gadget, intptr_t type = 0) {
    return {{Gadget, gadget, type}};
}

GadgetRecord* Record(intptr_t number) {
    return static_cast<GadgetRecord*>(GetObject(QX_Gadget_Objects, number));
}
GtkWidget* WidgetOf(intptr_t number) {
    return Record(number)->widget;
}
void SetState(intptr_t number, intptr_t value) {
    Record(number)->ops->setState(Record(number), value);
}
void Settle() {
    PumpUntil([] { return false; }, 150);
}
void Click(intptr_t number, int button = 1) {
    ASSERT_TRUE(ClickWidget(WidgetOf(number), button));
    Settle();
}
GtkRequisition Requested(intptr_t number) {
    GtkRequisition size{};
    gtk_widget_size_request(Record(number)->outer, &size);
    return size;
}

class Gadgets : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        InitStrings();
        InitEventQueue();
        InitGadgetLibrary();
        InitWindowLibrary();
    }
    void SetUp() override {
        ASSERT_NE(OpenWindow(kWindow, 100, 100, 400, 300, u"Gadgets", SystemMenu), 0);
        picture_ = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 130, 91);
        gdk_pixbuf_fill(picture_, 0x80402080);
    }
    void TearDown() override {
        QX_CloseWindow(Any);
        Posts();
        g_object_unref(picture_);
    }
    GdkPixbuf* picture_ = nullptr;
};

} // namespace

TEST_F(Gadgets, OptionGroupsFollowCreationOrder) {
    for (int i = 0; i < 4; ++i)
        OptionGadget(10 + i, 10, 10 + 25 * i, 100, 20, u"o");
    CheckBoxGadget(20, 150, 10, 100, 20, u"c");
    OptionGadget(21, 150, 40, 100, 20, u"p");
    OptionGadget(22, 150, 70, 100, 20, u"q");
    ButtonGadget(23, 150, 100, 100, 20, u"b");
    OptionGadget(24, 150, 130, 100, 20, u"r");
    std::vector<intptr_t> states;
    for (intptr_t number : {10, 11, 12, 13, 21, 22, 24})
        states.push_back(GetGadgetState(number));
    EXPECT_EQ(states, (std::vector<intptr_t>{1, 0, 0, 0, 1, 0, 1}));
    Settle();
    Posts();
    Click(12); // only the option that becomes selected reports, with the window it lives in
    EXPECT_EQ(Posts(), One(12));
    EXPECT_EQ(GetGadgetState(10), 0);
    EXPECT_EQ(GetGadgetState(21), 1);
    SetState(13, 1); // selecting by program reports too, once
    EXPECT_EQ(Posts(), One(13));
    SetState(13, 1);
    EXPECT_TRUE(Posts().empty());
    PostEvent(CloseWindow, 0, kWindow, 0); // while a close request waits, nothing is posted
    SetState(10, 1);
    EXPECT_EQ(PeekEventKind(), CloseWindow);
    EXPECT_TRUE(Posts().empty());
}

TEST_F(Gadgets, EachUserActionPostsOneEvent) {
    ButtonGadget(1, 10, 10, 120, 25, u"Plain");
    ButtonGadget(2, 10, 50, 120, 25, u"Toggle", ButtonFlags::Toggle);
    CheckBoxGadget(3, 10, 90, 150, 20, u"Two");
    CheckBoxGadget(4, 10, 120, 150, 20, u"Three", CheckBoxFlags::ThreeState);
    Settle();
    Posts();
    Click(1);
    EXPECT_EQ(Posts(), One(1));
    EXPECT_EQ(GetGadgetState(1), 0);
    for (intptr_t expected : {1, 0}) {
        Click(2);
        EXPECT_EQ(Posts(), One(2));
        EXPECT_EQ(GetGadgetState(2), expected);
        Click(3);
        EXPECT_EQ(Posts(), One(3));
        EXPECT_EQ(GetGadgetState(3), expected);
    }
    SetState(3, -1); // without ThreeState, -1 simply checks the box
    EXPECT_EQ(GetGadgetState(3), 1);
    SetState(4, -1);
    EXPECT_EQ(GetGadgetState(4), -1);
    EXPECT_TRUE(Posts().empty()); // changes made by program post nothing
    Click(4);                     // a click on a mixed box checks it
    EXPECT_EQ(GetGadgetState(4), 1);
    EXPECT_EQ(Posts(), One(4));

    // While a close request waits, clicks and toggles post nothing; image clicks still do.
    ImageGadget(5, 200, 10, 0, 0, picture_);
    Settle();
    PostEvent(CloseWindow, 0, kWindow, 0);
    for (intptr_t number : {1, 3})
        gtk_button_clicked(GTK_BUTTON(WidgetOf(number)));
    EXPECT_EQ(GetGadgetState(3), 0); // the state changes all the same
    Click(5);
    EXPECT_EQ(PeekEventKind(), CloseWindow);
    EXPECT_EQ(Posts(), One(5));
}

TEST_F(Gadgets, NumbersLifetimesTextsAndFonts) {
    ButtonGadget(3, 10, 10, 100, 20, u"Old");
    GtkWidget* old = WidgetOf(3);
    g_object_add_weak_pointer(G_OBJECT(old), reinterpret_cast<gpointer*>(&old));
    void* record = Record(3);
    PangoFontDescription* font = pango_font_description_from_string("Serif Bold 14");
    SetGadgetFont(Any, font);
    CheckBoxGadget(3, 10, 40, 100, 20, u"New \u00e9"); // reuse destroys the old gadget
    SetGadgetFont(Any, DefaultGadgetFont);
    EXPECT_EQ(old, nullptr);
    EXPECT_EQ(Record(3), record);
    EXPECT_EQ(gtk_object_get_data(GTK_OBJECT(WidgetOf(3)), "qx_id"), reinterpret_cast<void*>(4));
    QX_StringBasePosition = 0;
    EXPECT_EQ(Record(3)->ops->getText(Record(3), 0), 6);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(QX_StringBase)), u"New \u00e9");
    EXPECT_EQ(Record(3)->ops->getFont(Record(3)), font);

    intptr_t any = ButtonGadget(Any, 10, 80, 100, 20, nullptr); // made after the default font
    ASSERT_EQ(Record(any), reinterpret_cast<void*>(any));
    EXPECT_EQ(Record(any)->ops->getText(Record(any), 0), 1); // a null text is the empty label
    EXPECT_FALSE(pango_font_description_equal(Record(any)->ops->getFont(Record(any)), font));
    QX_FreeGadget(any);
    EXPECT_EQ(IsObject(QX_Gadget_Objects, any), nullptr);
    QX_FreeGadget(77); // never used: nothing happens

    OptionGadget(5, 10, 110, 100, 20, u"A"); // a freed last option leads no one into its group
    QX_FreeGadget(5);
    OptionGadget(6, 10, 140, 100, 20, u"B");
    EXPECT_EQ(GetGadgetState(6), 1);

    QX_CloseWindow(kWindow); // the window takes its gadgets with it
    pango_font_description_free(font);
    EXPECT_EQ(GetObject(QX_Gadget_Objects, 3), nullptr);
    EXPECT_EQ(GetObject(QX_Gadget_Objects, 6), nullptr);
    EXPECT_EQ(ButtonGadget(7, 10, 10, 100, 20, u"Nowhere"), 0); // no gadget list is current
    EXPECT_EQ(OptionGadget(Any, 10, 10, 100, 20, u"Nowhere"), 0);
    EXPECT_EQ(GetObject(QX_Gadget_Objects, 7), nullptr);
    EXPECT_EQ(QX_Gadget_Objects->dynamicHead, nullptr);
    // A destroyed window that something still holds leaves no gadget list behind either.
    auto* held = reinterpret_cast<GtkWidget*>(OpenWindow(8, 0, 0, 50, 50, u"Held"));
    g_object_ref(held);
    QX_CloseWindow(8);
    EXPECT_EQ(ButtonGadget(9, 0, 0, 10, 10, u"Late"), 0);
    g_object_unref(held);
}

TEST_F(Gadgets, ImageGadgetSizeFrameAndState) {
    const GtkShadowType shadows[] = {GTK_SHADOW_NONE, GTK_SHADOW_IN, GTK_SHADOW_OUT,
                                     GTK_SHADOW_OUT}; // flags 0 to 3; none: no frame
    for (intptr_t flags = 0; flags < 4; ++flags) {
        ImageGadget(flags, 10, 10, 130, 130, picture_, static_cast<int32_t>(flags));
        GtkWidget* child = gtk_bin_get_child(GTK_BIN(Record(flags)->outer));
        GtkRequisition size = Requested(flags);
        if (!flags) {
            EXPECT_EQ(child, WidgetOf(flags));
            EXPECT_EQ(size.width, 130); // the picture's size, not the one asked for
            EXPECT_EQ(size.height, 91);
            continue;
        }
        ASSERT_TRUE(GTK_IS_FRAME(child));
        EXPECT_EQ(gtk_frame_get_shadow_type(GTK_FRAME(child)), shadows[flags]);
        EXPECT_GT(size.width, 130); // plus the frame
    }
    ImageGadget(5, 10, 150, 70, 50, nullptr);
    EXPECT_EQ(Requested(5).width, 70);
    EXPECT_EQ(Requested(5).height, 50);

    EXPECT_EQ(GetGadgetState(0), reinterpret_cast<intptr_t>(picture_));
    SetState(0, 0); // the picture goes, the size stays
    EXPECT_EQ(GetGadgetState(0), 0);
    EXPECT_NE(gtk_image_get_storage_type(GTK_IMAGE(WidgetOf(0))), GTK_IMAGE_PIXBUF);
    EXPECT_EQ(Requested(0).height, 91);
    GdkPixbuf* small = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 40, 30);
    SetState(0, reinterpret_cast<intptr_t>(small)); // the size follows the new picture
    EXPECT_EQ(gtk_image_get_pixbuf(GTK_IMAGE(WidgetOf(0))), small);
    EXPECT_EQ(Requested(0).width, 40);
    g_object_unref(small);

    GtkWidget* box = Record(2)->outer; // freeing takes event box, frame and image
    g_object_add_weak_pointer(G_OBJECT(box), reinterpret_cast<gpointer*>(&box));
    QX_FreeGadget(2);
    EXPECT_EQ(box, nullptr);
    EXPECT_EQ(GetObject(QX_Gadget_Objects, 2), nullptr);
}

TEST_F(Gadgets, ImageGadgetReportsMouseButtonsAndDrags) {
    ImageGadget(6, 20, 20, 130, 130, picture_);
    GtkWidget* box = Record(6)->outer;
    ASSERT_TRUE(PumpUntil([&] { return GTK_WIDGET_MAPPED(box) && box->allocation.width == 130; }));
    int x = 0, y = 0;
    WidgetRootPosition(box, 60, 40, &x, &y);
    ASSERT_TRUE(PointerMove(x, y));
    Settle();
    Posts();
    auto act = [](int button, int repeat) {
        EXPECT_TRUE(PointerClick(button, repeat));
        Settle();
        return Posts(repeat == 1);
    };
    // Passed on, a click is then reported by the window itself as well.
    EXPECT_EQ(act(1, 1), (std::vector<Posted>{{Gadget, 6, 0}, {LeftClick, kWindow, 0}}));
    EXPECT_EQ(act(3, 1), (std::vector<Posted>{{Gadget, 6, 1}, {RightClick, kWindow, 0}}));
    EXPECT_EQ(act(2, 1), std::vector<Posted>{}); // the middle button reports nothing
    EXPECT_EQ(act(1, 2), (std::vector<Posted>{{Gadget, 6, 0}, {Gadget, 6, 2}}));
    EXPECT_EQ(act(3, 2), (std::vector<Posted>{{Gadget, 6, 1}, {Gadget, 6, 3}}));

    // Pressed on the picture and released far outside it: no click, one drag start.
    ASSERT_TRUE(PointerDown(1));
    for (int step = 1; step <= 5; ++step) {
        Settle();
        ASSERT_TRUE(PointerMove(x + 40 * step, y + 10 * step));
    }
    ASSERT_TRUE(PointerUp(1));
    Settle();
    EXPECT_EQ(Posts(), One(6, EventTypeDragStart));
}
