// A control's image-list identity through the form's property stream.
#include "widgets/controls/qt/control.h"
#include "widgets/painting/qt/image_list.h"
#include "widgets/painting/qt/image_list_wrappers.h"

#include <gtest/gtest.h>

using namespace kyd::widgets;

namespace {

struct CountingControl : TDUDBaseControl {
    int relinks = 0;
    void GetIMLChange() override
    {
        ++relinks;
        TDUDBaseControl::GetIMLChange();
    }
};

} // namespace

TEST(WidgetControlStreaming, GlobalListIdentityIsStoredAndLinkedOnLoad)
{
    TDUDBaseControl saved;
    saved.SetImageList(&DUDGlobalContainer().ImageList);
    TDUDStreamProperties props;
    saved.DefineProperties(props);
    ASSERT_EQ(1u, props.size());
    EXPECT_EQ("Internal", props[0].Name);
    EXPECT_EQ("DUDIML30", std::string(props[0].Data.begin(), props[0].Data.end()));

    TDUDBaseControl loaded;
    loaded.BeginLoading();
    loaded.ReadProperties(props);
    EXPECT_EQ(nullptr, loaded.ImageList()); // linked once loading is done
    loaded.Loaded();
    EXPECT_EQ(&DUDGlobalContainer().ImageList, loaded.ImageList());

    // A list of the form's own has no identity here; an unknown one links none.
    TDUDBitmapList own;
    saved.SetImageList(&own);
    props.clear();
    saved.DefineProperties(props);
    EXPECT_TRUE(props.empty());
    TDUDBaseControl other;
    other.SetImageList(&own);
    other.BeginLoading();
    other.ReadProperties({{"Internal", {'X', 'Y'}}});
    other.Loaded();
    EXPECT_EQ(nullptr, other.ImageList());
    // Without the property the list stays as it is.
    TDUDBaseControl keeps;
    keeps.SetImageList(&own);
    keeps.BeginLoading();
    keeps.ReadProperties({});
    keeps.Loaded();
    EXPECT_EQ(&own, keeps.ImageList());
}

TEST(WidgetControlStreaming, CollectionListsAreRelinkedOnLoad)
{
    TDUDImageListConnector connector;
    CountingControl c;
    c.SetImageList(&connector);
    c.BeginLoading();
    c.Loaded();
    EXPECT_EQ(&connector, c.ImageList());
    EXPECT_EQ(1, c.relinks);
    TDUDBitmapList plain;
    c.SetImageList(&plain);
    c.BeginLoading();
    c.Loaded();
    EXPECT_EQ(1, c.relinks); // only collection lists
}
