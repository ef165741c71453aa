#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

#include <stdexcept>

// The pages keep their children private; the tests reach them the way the
// framework sees them, by their place in the child order.
namespace testsupport
{
    template <typename ChildType>
    ChildType& childAt (juce::Component& parent, int index)
    {
        auto* child = dynamic_cast<ChildType*> (parent.getChildComponent (index));

        if (child == nullptr)
        {
            ADD_FAILURE() << "child " << index << " is missing or of another type";
            throw std::runtime_error ("unexpected child order");
        }

        return *child;
    }
}
