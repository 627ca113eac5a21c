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
    ++count_;  // every caller links the new node at once
    return node;
}

BxList::Node* BxList::InsertAt(std::size_t index, void* item) {
    if (index == count_) {
        return Append(item);
    }
    if (index == 0) {
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
    Node* added = NewNode(item);
    // Every node keeps its index, so the cursor stays valid: appending in a loop that also reads
    // by index costs one step per item, not a walk from the head.
    added->previous = tail_;
    if (tail_) {
        tail_->next = added;
    } else {
        head_ = added;
    }
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
    --count_;
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
