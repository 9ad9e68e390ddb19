// CHive's red-black balancing: rotations, the fix-ups after an insert or a removal, and the
// check of the tree's invariants.

#include "engine/chive.h"

#include <set>

namespace geminor {

std::int32_t &CHive::child(std::int32_t n, bool left)
{
    return left ? node(n).Left : node(n).Right;
}

/// Turns the tree at `x` to the left (its right child takes its place) or to the right.
void CHive::rotate(std::int32_t x, bool toLeft)
{
    const std::int32_t y = child(x, !toLeft);
    child(x, !toLeft) = child(y, toLeft);
    if (child(y, toLeft))
        node(child(y, toLeft)).Parent = x;
    const std::int32_t parent = node(x).Parent;
    node(y).Parent = parent;
    if (!parent)
        m_root = y;
    else
        child(parent, x == node(parent).Left) = y;
    child(y, toLeft) = x;
    node(x).Parent = y;
}

void CHive::insertFixup(std::int32_t z)
{
    while (z != m_root && node(node(z).Parent).Color == Red) {
        const std::int32_t parent = node(z).Parent;
        const std::int32_t grand = node(parent).Parent;
        const bool leftSide = parent == node(grand).Left;
        const std::int32_t uncle = leftSide ? node(grand).Right : node(grand).Left;
        if (node(uncle).Color == Red) {
            node(parent).Color = Black;
            node(uncle).Color = Black;
            node(grand).Color = Red;
            z = grand;
            continue;
        }
        if (z == (leftSide ? node(parent).Right : node(parent).Left)) {
            z = parent;
            rotate(z, leftSide);
        }
        node(node(z).Parent).Color = Black;
        node(grand).Color = Red;
        rotate(grand, !leftSide);
    }
    node(m_root).Color = Black;
}

void CHive::deleteFixup(std::int32_t x)
{
    while (x != m_root && node(x).Color == Black) {
        const std::int32_t parent = node(x).Parent;
        const bool leftSide = x == node(parent).Left;
        std::int32_t w = leftSide ? node(parent).Right : node(parent).Left;
        if (node(w).Color == Red) {
            node(w).Color = Black;
            node(parent).Color = Red;
            rotate(parent, leftSide);
            w = leftSide ? node(parent).Right : node(parent).Left;
        }
        const std::int32_t near = leftSide ? node(w).Left : node(w).Right;
        const std::int32_t far = leftSide ? node(w).Right : node(w).Left;
        if (node(near).Color == Black && node(far).Color == Black) {
            node(w).Color = Red;
            x = parent;
            continue;
        }
        if (node(far).Color == Black) {
            node(near).Color = Black;
            node(w).Color = Red;
            rotate(w, !leftSide);
            w = leftSide ? node(parent).Right : node(parent).Left;
        }
        node(w).Color = node(parent).Color;
        node(parent).Color = Black;
        node(leftSide ? node(w).Right : node(w).Left).Color = Black;
        rotate(parent, leftSide);
        x = m_root;
    }
    node(x).Color = Black;
}

std::int32_t CHive::blackHeight(std::int32_t n, bool &ok) const
{
    if (!n)
        return 1;
    const Node &x = node(n);
    if (x.Left && node(x.Left).Parent != n)
        ok = false;
    if (x.Right && node(x.Right).Parent != n)
        ok = false;
    if (x.Color == Red && (node(x.Left).Color == Red || node(x.Right).Color == Red))
        ok = false;
    if (x.Left && compare(entry(x.Left).Key, entry(n).Key) > 0)
        ok = false;
    if (x.Right && compare(entry(x.Right).Key, entry(n).Key) < 0)
        ok = false;
    const std::int32_t left = blackHeight(x.Left, ok), right = blackHeight(x.Right, ok);
    if (left != right)
        ok = false;
    return left + (x.Color == Black ? 1 : 0);
}

bool CHive::CheckInvariants() const
{
    bool ok = true;
    if (m_root && (node(m_root).Color != Black || node(m_root).Parent != 0))
        ok = false;
    if (!m_nodes.empty())
        blackHeight(m_root, ok);
    std::set<std::int32_t> seen;
    for (std::int32_t p = 1; p <= Count(); ++p) {
        const std::int32_t n = m_order.nodeAt(p);
        if (n <= 0 || !seen.insert(n).second || m_order.positionOf(n) != p)
            ok = false;
    }
    std::int32_t inTree = 0;
    std::vector<std::int32_t> pending{m_root};
    while (!pending.empty()) {
        const std::int32_t n = pending.back();
        pending.pop_back();
        if (!n)
            continue;
        ++inTree;
        if (!seen.count(n))
            ok = false;
        pending.push_back(node(n).Left);
        pending.push_back(node(n).Right);
    }
    return ok && inTree == Count();
}

}  // namespace geminor
