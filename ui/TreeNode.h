// The node record that trees, flat lists, the property list and the breadcrumb bar show. A node
// owns its children, its text and its rendered text image; its icon belongs to someone else.
// Users derive their own nodes (folders, layers, search entries, properties).
#pragma once

#include "imaging/ImageBuffer.h"

#include <cstdint>
#include <string>
#include <vector>

class CTreeNode {
public:
    CTreeNode() = default;
    explicit CTreeNode(const char16_t* text) { SetText(text); }
    virtual ~CTreeNode();
    CTreeNode(const CTreeNode&) = delete;
    CTreeNode& operator=(const CTreeNode&) = delete;

    // Deletes the children (each cleared first); the node's own text and image stay.
    virtual void RemoveChildren();
    // Deletes the children, collapses the node, frees its text image and text.
    virtual void Clear();

    // Appends an owned child and makes this node its parent; returns the child.
    CTreeNode* AddChild(CTreeNode* child);
    void SetText(const char16_t* text);
    const char16_t* Text() const { return m_hasText ? m_text.c_str() : nullptr; }
    bool HasText() const { return m_hasText && !m_text.empty(); }

    CTreeNode* parent = nullptr;
    std::vector<CTreeNode*> children;
    int32_t expanded = 0;
    uint32_t sortKey = 0;
    ImageBuffer8 textImage;
    const ImageBuffer8* icon = nullptr;

private:
    std::u16string m_text;
    bool m_hasText = false;
};
