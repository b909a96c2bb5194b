// Change links between a container and its users: notification and the
// container's end survive handlers that destroy, add or remove links.
#include "widgets/framework/image_list_link.h"

#include <gtest/gtest.h>

#include <memory>

using namespace kyd::widgets;

TEST(WidgetChangeLinks, AHandlerMayDestroyLinksStillWaitingForTheChange)
{
    TDUDBaseContainer container;
    auto first = std::make_unique<TDUDChangeLink>();
    auto second = std::make_unique<TDUDChangeLink>();
    auto third = std::make_unique<TDUDChangeLink>();
    std::unique_ptr<TDUDChangeLink> added;
    int firstHits = 0, secondHits = 0, thirdHits = 0, addedHits = 0;
    first->OnChange = [&] {
        ++firstHits;
        second.reset(); // destroyed before its turn
        if (!added) {
            added = std::make_unique<TDUDChangeLink>();
            added->OnChange = [&] { ++addedHits; };
            container.RegisterChanges(added.get());
        }
    };
    second->OnChange = [&] { ++secondHits; };
    third->OnChange = [&] { ++thirdHits; };
    for (auto* l : {first.get(), second.get(), third.get()})
        container.RegisterChanges(l);

    container.Change();
    EXPECT_EQ(firstHits, 1);
    EXPECT_EQ(secondHits, 0);
    EXPECT_EQ(thirdHits, 1);
    EXPECT_EQ(addedHits, 0) << "a link registered during a change hears the next one";

    container.Change();
    EXPECT_EQ(firstHits, 2);
    EXPECT_EQ(thirdHits, 2);
    EXPECT_EQ(addedHits, 1);

    // Unregistering a waiting link during the change keeps it from being told.
    third->OnChange = [&] { ++thirdHits; };
    first->OnChange = [&] { container.UnRegisterChanges(third.get()); };
    container.Change();
    EXPECT_EQ(thirdHits, 2);
    EXPECT_EQ(third->Sender(), nullptr);
}

TEST(WidgetChangeLinks, AContainersEndSurvivesHandlersThatDestroyOtherLinks)
{
    auto container = std::make_unique<TDUDBaseContainer>();
    auto first = std::make_unique<TDUDChangeLink>();
    auto second = std::make_unique<TDUDChangeLink>();
    auto third = std::make_unique<TDUDChangeLink>();
    int removed = 0, secondRemoved = 0;
    first->OnRemoved = [&] {
        ++removed;
        second.reset();
    };
    second->OnRemoved = [&] { ++secondRemoved; };
    third->OnRemoved = [&] { ++removed; };
    for (auto* l : {first.get(), second.get(), third.get()})
        container->RegisterChanges(l);

    container.reset();
    EXPECT_EQ(removed, 2);
    EXPECT_EQ(secondRemoved, 0);
    EXPECT_EQ(first->Sender(), nullptr);
    EXPECT_EQ(third->Sender(), nullptr);
}
