// Tree nodes: ownership of children, text and text image.
#include "ui/TreeNode.h"

CTreeNode::~CTreeNode()
{
    CTreeNode::Clear();
}

void CTreeNode::RemoveChildren()
{
    std::vector<CTreeNode*> old;
    old.swap(children);
    for (CTreeNode* child : old) {
        child->Clear();
        delete child;
    }
}

void CTreeNode::Clear()
{
    RemoveChildren();
    expanded = 0;
    FreeImageBuffer(textImage);
    m_text.clear();
    m_hasText = false;
}

CTreeNode* CTreeNode::AddChild(CTreeNode* child)
{
    if (child) {
        child->parent = this;
        children.push_back(child);
    }
    return child;
}

void CTreeNode::SetText(const char16_t* text)
{
    m_hasText = text != nullptr;
    m_text = text ? text : u"";
}
