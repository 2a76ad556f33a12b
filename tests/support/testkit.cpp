// testkit.cpp - what several test programs share.
#include "testkit.h"

#include "STAKKA.h"

// ---- error boxes ------------------------------------------------------------------------------

namespace
{

std::vector<BOXSEEN> boxes;
BoxRecorder* current = nullptr;

int WINAPI RecordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    boxes.push_back(BOXSEEN{owner, text ? text : "", caption ? caption : "", type});
    if (current && current->onBox)
        current->onBox(boxes.back());
    return IDOK;
}

} // namespace

BoxRecorder::BoxRecorder() : previous(SetMbErrorBox(RecordBox))
{
    boxes.clear();
    current = this;
}

BoxRecorder::~BoxRecorder()
{
    SetMbErrorBox(previous);
    current = nullptr;
}

std::vector<std::string> BoxRecorder::Texts() const
{
    std::vector<std::string> t;
    for (const BOXSEEN& b : boxes)
        t.push_back(b.text);
    return t;
}

const std::vector<BOXSEEN>& BoxRecorder::Boxes() const
{
    return boxes;
}

void BoxRecorder::Clear()
{
    boxes.clear();
}
