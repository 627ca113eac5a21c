// A doubly linked list of untyped items. The list owns its nodes, never its items: removing a
// node frees the node only.
#pragma once

#include <cstddef>

class BxList {
  public:
    struct Node {
        Node* previous = nullptr;
        Node* next = nullptr;
        void* item = nullptr;
    };

    BxList() = default;
    BxList(const BxList&) = delete;
    BxList& operator=(const BxList&) = delete;
    virtual ~BxList();

    std::size_t Count() const { return count_; }
    // The node or item at an index; an index at or past the count raises 27.
    Node* NodeAt(std::size_t index) const;
    void* ItemAt(std::size_t index) const { return NodeAt(index)->item; }

    // Index 0 makes a new first node (also in an empty list); otherwise the new node follows the
    // node at index - 1, which must exist (27 otherwise).
    Node* InsertAt(std::size_t index, void* item);
    Node* InsertAfter(Node* node, void* item);
    Node* InsertBefore(Node* node, void* item);
    Node* Append(void* item);
    void RemoveAt(std::size_t index);
    void Clear();

    Node* Head() const { return head_; }
    Node* Tail() const { return tail_; }

  private:
    Node* NewNode(void* item);
    void Unlink(Node* node);
    void ForgetCursor() const { cursor_ = nullptr; }

    // Invariant: head_ and tail_ are both null or both set; walking next from head_ reaches
    // tail_, and previous from tail_ reaches head_.
    Node* head_ = nullptr;
    Node* tail_ = nullptr;
    // The number of nodes. Kept rather than counted: callers loop up to Count(), and walking the
    // list for it made every such loop quadratic in the number of frames.
    std::size_t count_ = 0;
    // The last node reached by index, so that walking the list in order costs one step per
    // item; forgotten by every change to the list but appending, which moves no node.
    mutable Node* cursor_ = nullptr;
    mutable std::size_t cursorIndex_ = 0;
};
