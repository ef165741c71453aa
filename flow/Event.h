#pragma once

#include <optional>
#include <string>

// What the pages and the worker tasks post to MainComponent. An event's kind
// is its dynamic type: a state takes the one kind it handles by a cast.
struct Event
{
    virtual ~Event() = default;
};

// The action button of the page on show was clicked. Only one action button
// is ever shown, so the event needs no data.
struct ButtonClicked : Event
{
};

struct TaskFinished : Event
{
    explicit TaskFinished (bool succeeded) : success (succeeded) {}

    bool success;
};

// The end of a preparation task: the version to install, or nothing when the
// device or its version file was not found. A present version may be empty.
struct PrepFinished : Event
{
    explicit PrepFinished (std::optional<std::string> versionRead) : version (std::move (versionRead)) {}

    std::optional<std::string> version;
};
