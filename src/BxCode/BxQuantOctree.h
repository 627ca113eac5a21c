// Builds a palette of a requested size from the colours of one or more images: a five-level
// colour octree whose leaves carry weighted mean colours, a reduction that folds the lightest
// leaves into their parents until a leaf limit is met, and a pairwise merge of near colours down
// to the exact size asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "BxCode/BxColorTable.h"
#include "BxCode/BxImage.h"
#include "BxCode/BxIndexedImage.h"

class BxQuantOctree {
  public:
    BxQuantOctree();
    ~BxQuantOctree();
    BxQuantOctree(const BxQuantOctree&) = delete;
    BxQuantOctree& operator=(const BxQuantOctree&) = delete;

    // Indexed images add their palette weighted by their histogram, true-colour images every
    // pixel with weight 1; other kinds add nothing (a GIF frame is added by its GetImage()).
    void AddImage(const BxImage& image);
    // An indexed image's palette weighted by its histogram, for a caller that has the counts.
    void AddIndexed(const BxColorTable& palette, const BxIndexCounts& counts);
    // Colours as packed values; entries of weight 0 are skipped.
    void AddColors(const BxColor* colors, const std::uint32_t* weights, std::size_t count);
    // A table of exactly n colours (1 to 256); the quantizer is spent afterwards.
    BxColorTable MakePalette(std::size_t n);

    std::uint32_t LeafCount() const { return leafCount_; }
    // How many leaves reduction leaves for a target of t colours (32 to 256).
    static std::uint16_t LeafLimitFor(std::uint16_t t);
    // The mean of two weighted colour channels, as the tree, the reduction and the merge use it.
    static std::uint8_t WeightedMean(std::uint8_t a, std::uint32_t weightA, std::uint8_t b,
                                     std::uint32_t weightB);

    // Inspection for tests: the leaves in list order.
    struct Leaf {
        BxColor color;
        std::uint32_t weight;
    };
    std::size_t CopyLeaves(Leaf* out, std::size_t capacity) const;

  private:
    struct Node;
    void Insert(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint32_t weight);
    void Reduce();
    void MergeNear(std::size_t entries);
    void PickExtremes(std::size_t n);
    static void FreeTree(Node* node);

    Node* root_ = nullptr;
    Node* endMarker_ = nullptr;
    // Last node of the leaf list while colours are added; the list starts at the root.
    Node* tail_ = nullptr;
    BxColorTable palette_;
    std::uint32_t leafCount_ = 0;
    std::uint16_t leafLimit_ = 256;
    std::uint16_t target_ = 256;
};
