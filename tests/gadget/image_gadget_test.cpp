// The image gadget under the virtual X server: its size, frame and state, and the mouse events
// it reports to real pointer actions.
#include "gadget/gadget.h"
#include "tests/support/gui.h"
#include "window/window.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr intptr_t kWindow = 2;

struct Posted {
    int32_t kind;
    intptr_t object;
    intptr_t type;
    bool operator==(const Posted&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Posted& event) {
    return out << "{kind " << event.kind << ", object " << event.object << ", type " << event.type
               << "}";
}

// The gadget and click events queued since the last call (repaints and focus are left out).
std::vector<Posted> Clicks() {
    std::vector<Posted> events;
    intptr_t object = 0, window = 0, type = 0;
    void* data = nullptr;
    EventFreeFunction freeData = nullptr;
    while (int32_t kind = PopEvent(&object, &window, &type, &data, &freeData)) {
        if (kind == Gadget || kind == LeftClick || kind == RightClick || kind == LeftDoubleClick)
            events.push_back({kind, object, type});
    }
    return events;
}

void Settle() {
    PumpUntil([] { return false; }, 150);
}

GdkPixbuf* Picture(int width, int height) {
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, width, height);
    gdk_pixbuf_fill(pixbuf, 0x80402080);
    return pixbuf;
}

GadgetRecord* Record(intptr_t number) {
    return static_cast<GadgetRecord*>(GetObject(QX_Gadget_Objects, number));
}

GtkRequisition Requested(GtkWidget* widget) {
    GtkRequisition size{};
    gtk_widget_size_request(widget, &size);
    return size;
}

class ImageGadgets : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        InitEventQueue();
        InitGadgetLibrary();
        InitWindowLibrary();
    }
    void SetUp() override {
        ASSERT_NE(OpenWindow(kWindow, 50, 50, 400, 300, u"Pictures", SystemMenu), 0);
        picture_ = Picture(130, 91);
        other_ = Picture(40, 30);
    }
    void TearDown() override {
        QX_CloseWindow(Any);
        Clicks();
        g_object_unref(picture_);
        g_object_unref(other_);
    }
    GdkPixbuf* picture_ = nullptr;
    GdkPixbuf* other_ = nullptr;
};

} // namespace

TEST_F(ImageGadgets, SizeFollowsThePictureAndTheFrame) {
    ASSERT_NE(ImageGadget(1, 10, 10, 130, 130, picture_), 0);
    ASSERT_NE(ImageGadget(2, 150, 10, 130, 130, picture_, ImageGadgetFlags::BorderSunken), 0);
    ASSERT_NE(ImageGadget(3, 10, 150, 70, 50, nullptr), 0);
    GtkRequisition plain = Requested(Record(1)->outer);
    EXPECT_EQ(plain.width, 130);
    EXPECT_EQ(plain.height, 91);
    GtkRequisition framed = Requested(Record(2)->outer);
    EXPECT_GT(framed.width, 130);
    EXPECT_GT(framed.height, 91);
    GtkRequisition empty = Requested(Record(3)->outer);
    EXPECT_EQ(empty.width, 70);
    EXPECT_EQ(empty.height, 50);
}

TEST_F(ImageGadgets, FramesTakeTheirShadowFromTheFlags) {
    struct Case {
        int32_t flags;
        GtkShadowType shadow; // GTK_SHADOW_NONE: no frame at all
    };
    const Case cases[] = {
        {0, GTK_SHADOW_NONE},
        {ImageGadgetFlags::BorderSunken, GTK_SHADOW_IN},
        {ImageGadgetFlags::BorderRaised, GTK_SHADOW_OUT},
        {ImageGadgetFlags::BorderSunken | ImageGadgetFlags::BorderRaised, GTK_SHADOW_OUT}};
    intptr_t number = 1;
    for (const Case& c : cases) {
        ASSERT_NE(ImageGadget(number, 10, 10, 50, 50, picture_, c.flags), 0);
        GtkWidget* child = gtk_bin_get_child(GTK_BIN(Record(number)->outer));
        if (c.shadow == GTK_SHADOW_NONE) {
            EXPECT_EQ(child, Record(number)->widget);
        } else {
            ASSERT_TRUE(GTK_IS_FRAME(child));
            EXPECT_EQ(gtk_frame_get_shadow_type(GTK_FRAME(child)), c.shadow);
            EXPECT_EQ(gtk_bin_get_child(GTK_BIN(child)), Record(number)->widget);
        }
        ++number;
    }
}

TEST_F(ImageGadgets, StateIsThePictureShown) {
    ASSERT_NE(ImageGadget(4, 10, 10, 130, 130, picture_), 0);
    GadgetRecord* gadget = Record(4);
    EXPECT_EQ(GetGadgetState(4), reinterpret_cast<intptr_t>(picture_));

    gadget->ops->setState(gadget, 0); // the picture goes, the size stays
    EXPECT_EQ(GetGadgetState(4), 0);
    EXPECT_NE(gtk_image_get_storage_type(GTK_IMAGE(gadget->widget)), GTK_IMAGE_PIXBUF);
    GtkRequisition kept = Requested(gadget->outer);
    EXPECT_EQ(kept.width, 130);
    EXPECT_EQ(kept.height, 91);

    gadget->ops->setState(gadget, reinterpret_cast<intptr_t>(other_));
    EXPECT_EQ(GetGadgetState(4), reinterpret_cast<intptr_t>(other_));
    EXPECT_EQ(gtk_image_get_pixbuf(GTK_IMAGE(gadget->widget)), other_);
    GtkRequisition followed = Requested(gadget->outer);
    EXPECT_EQ(followed.width, 40);
    EXPECT_EQ(followed.height, 30);
}

TEST_F(ImageGadgets, FreeingRemovesEverythingAndFreesTheNumber) {
    ASSERT_NE(ImageGadget(5, 10, 10, 130, 130, picture_, ImageGadgetFlags::BorderRaised), 0);
    GtkWidget* box = Record(5)->outer;
    GtkWidget* frame = gtk_bin_get_child(GTK_BIN(box));
    GtkWidget* image = Record(5)->widget;
    for (GtkWidget** widget : {&box, &frame, &image})
        g_object_add_weak_pointer(G_OBJECT(*widget), reinterpret_cast<gpointer*>(widget));
    QX_FreeGadget(5);
    EXPECT_EQ(box, nullptr);
    EXPECT_EQ(frame, nullptr);
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(GetObject(QX_Gadget_Objects, 5), nullptr);
    EXPECT_EQ(GetGadgetState(5), 0);
}

TEST_F(ImageGadgets, MouseButtonsBecomeGadgetEvents) {
    ASSERT_NE(ImageGadget(6, 20, 20, 130, 130, picture_), 0);
    GtkWidget* box = Record(6)->outer;
    ASSERT_TRUE(PumpUntil([&] { return GTK_WIDGET_MAPPED(box) && box->allocation.width == 130; }));
    int x = 0, y = 0;
    WidgetRootPosition(box, 60, 40, &x, &y);
    ASSERT_TRUE(PointerMove(x, y));
    Settle();
    Clicks();

    // A left click is reported by the gadget and then, passed on, by the window itself.
    ASSERT_TRUE(PointerClick(1));
    Settle();
    EXPECT_EQ(Clicks(), (std::vector<Posted>{{Gadget, 6, EventTypeLeftClick}, {LeftClick, 0, 0}}));

    ASSERT_TRUE(PointerClick(3));
    Settle();
    EXPECT_EQ(Clicks(),
              (std::vector<Posted>{{Gadget, 6, EventTypeRightClick}, {RightClick, 0, 0}}));

    ASSERT_TRUE(PointerClick(2)); // the middle button reports nothing
    Settle();
    EXPECT_EQ(Clicks(), std::vector<Posted>{});

    ASSERT_TRUE(PointerClick(1, 2));
    Settle();
    std::vector<Posted> gadgetEvents;
    for (const Posted& event : Clicks())
        if (event.kind == Gadget) gadgetEvents.push_back(event);
    EXPECT_EQ(gadgetEvents, (std::vector<Posted>{{Gadget, 6, EventTypeLeftClick},
                                                 {Gadget, 6, EventTypeLeftDoubleClick}}));

    ASSERT_TRUE(PointerClick(3, 2));
    Settle();
    gadgetEvents.clear();
    for (const Posted& event : Clicks())
        if (event.kind == Gadget) gadgetEvents.push_back(event);
    EXPECT_EQ(gadgetEvents, (std::vector<Posted>{{Gadget, 6, EventTypeRightClick},
                                                 {Gadget, 6, EventTypeRightDoubleClick}}));
}

TEST_F(ImageGadgets, PressInsideReleaseOutsideAndDrags) {
    ASSERT_NE(ImageGadget(7, 20, 20, 130, 130, picture_), 0);
    GtkWidget* box = Record(7)->outer;
    ASSERT_TRUE(PumpUntil([&] { return GTK_WIDGET_MAPPED(box) && box->allocation.width == 130; }));
    int x = 0, y = 0;
    WidgetRootPosition(box, 60, 40, &x, &y);
    ASSERT_TRUE(PointerMove(x, y));
    Settle();
    Clicks();

    // Pressed on the picture, released far outside it: no click, one drag start.
    ASSERT_TRUE(PointerDown(1));
    Settle();
    for (int step = 1; step <= 5; ++step) {
        ASSERT_TRUE(PointerMove(x + 40 * step, y + 10 * step));
        Settle();
    }
    ASSERT_TRUE(PointerUp(1));
    Settle();
    std::vector<Posted> gadgetEvents;
    for (const Posted& event : Clicks())
        if (event.kind == Gadget) gadgetEvents.push_back(event);
    EXPECT_EQ(gadgetEvents, (std::vector<Posted>{{Gadget, 7, EventTypeDragStart}}));

    // The next click inside reports normally.
    ASSERT_TRUE(PointerMove(x, y));
    ASSERT_TRUE(PointerClick(1));
    Settle();
    gadgetEvents.clear();
    for (const Posted& event : Clicks())
        if (event.kind == Gadget) gadgetEvents.push_back(event);
    EXPECT_EQ(gadgetEvents, (std::vector<Posted>{{Gadget, 7, EventTypeLeftClick}}));
}
