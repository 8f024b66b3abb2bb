#include "update/resumedecision.h"

ResumeAction decideResume(const ResumeHead &head)
{
    if (head.status == 200)
        return head.offset > 0 ? ResumeAction::StartOver : ResumeAction::Append;
    if (head.status != 206 || head.size <= 0 || head.offset >= head.size)
        return ResumeAction::Refuse;
    const QByteArray expected = "bytes " + QByteArray::number(head.offset) + '-' +
                                QByteArray::number(head.size - 1) + '/' +
                                QByteArray::number(head.size);
    if (head.contentRange != expected)
        return ResumeAction::Refuse;
    return ResumeAction::Append;
}
