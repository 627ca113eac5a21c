#include "BxCode/BxList.h"

#include <new>

#include "BxCode/BxErrorCode.h"

BxList::~BxList() {
    Node* node = head_;
    while (node) {
        Node* next = node->next;
        delete node;
        node = next;
    }
}

std::size_t BxList::Count() const {
    std::size_t count = 0;
    for (const Node* node = head_; node; node = node->next) {
        ++count;
    }
    return count;
}

BxList::Node* BxList::NodeAt(std::size_t index) const {
    Node* node = head_;
    std::size_t at = 0;
    if (cursor_ && cursorIndex_ <= index) {
        node = cursor_;
        at = cursorIndex_;
    }
    // At most `index` steps; a list shorter than that ends the walk at null.
    while (node && at < index) {
        node = node->next;
        ++at;
    }
    if (!node) {
        BxRaise(kBxErrMissing);
    }
    cursor_ = node;
    cursorIndex_ = index;
    return node;
}

BxList::Node* BxList::NewNode(void* item) {
    Node* node = new (std::nothrow) Node;
    if (!node) {
        BxRaise(kBxErrNoMemory);
    }
    node->item = item;
    return node;
}

BxList::Node* BxList::InsertAt(std::size_t index, void* item) {
    if (index == 0) {
        if (!head_) {
            return Append(item);
        }
        return InsertBefore(head_, item);
    }
    return InsertAfter(NodeAt(index - 1), item);
}

BxList::Node* BxList::InsertAfter(Node* node, void* item) {
    if (!node) {
        BxRaise(kBxErrMissing);
    }
    Node* added = NewNode(item);
    ForgetCursor();
    added->previous = node;
    added->next = node->next;
    if (node->next) {
        node->next->previous = added;
    } else {
        tail_ = added;
    }
    node->next = added;
    return added;
}

BxList::Node* BxList::InsertBefore(Node* node, void* item) {
    if (!node) {
        BxRaise(kBxErrMissing);
    }
    Node* added = NewNode(item);
    ForgetCursor();
    added->next = node;
    added->previous = node->previous;
    if (node->previous) {
        node->previous->next = added;
    } else {
        head_ = added;
    }
    node->previous = added;
    return added;
}

BxList::Node* BxList::Append(void* item) {
    if (tail_) {
        return InsertAfter(tail_, item);
    }
    Node* added = NewNode(item);
    ForgetCursor();
    head_ = added;
    tail_ = added;
    return added;
}

void BxList::Unlink(Node* node) {
    ForgetCursor();
    if (node->previous) {
        node->previous->next = node->next;
    } else {
        head_ = node->next;
    }
    if (node->next) {
        node->next->previous = node->previous;
    } else {
        tail_ = node->previous;
    }
    delete node;
}

void BxList::RemoveAt(std::size_t index) {
    Unlink(NodeAt(index));
}

void BxList::Clear() {
    const std::size_t count = Count();
    for (std::size_t i = 0; i < count; ++i) {
        RemoveAt(0);
    }
}
