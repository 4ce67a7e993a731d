#pragma once
// The two signals through which a Node reports to its subscribers.
//
// NodeChangeSignal: (action, node, attribute) for changes of the node's own
// attributes, the attributes it gains and loses, the release of held-back
// changes and its end; the attribute is empty when the change concerns no
// single attribute. HierarchicalChangeSignal: (node, source, structureChanged)
// when something changed in the node or anywhere below it; source is the
// attribute where the change began (empty for summary reports).
//
// A node makes each signal on the first subscription and deletes it when the
// last connection is disconnected outside an emission, or when the node goes.

#include <tavel/types/AttributeType.h>

#include <basalt/Function.h>
#include <basalt/Signal.h>

#include <boost/optional.hpp>

namespace Norv::Tavel {

class Attribute;
class Node;

using NodeChangeSignal = norv::basalt::signal::DisconnectNotificationSignal<void(
    ChangeAction, Node const&, boost::optional<Attribute const&>)>;
using HierarchicalChangeSignal = norv::basalt::signal::DisconnectNotificationSignal<void(
    Node const&, boost::optional<Attribute const&>, bool)>;

using NodeChangeSlot = NodeChangeSignal::Slot;
using HierarchicalChangeSlot = HierarchicalChangeSignal::Slot;

} // namespace Norv::Tavel
