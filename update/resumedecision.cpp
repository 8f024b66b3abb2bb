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
    // A file changed on the server since the bytes were kept answers with another validator.
    if (head.contentRange != expected ||
        (!head.validatorSent.isEmpty() && !head.validatorGiven.isEmpty() &&
         head.validatorGiven != head.validatorSent))
        return ResumeAction::Refuse;
    return ResumeAction::Append;
}
