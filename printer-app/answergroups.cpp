// The groups of one kind in an IPP answer (answergroups.h).
#include "answergroups.h"

std::vector<std::vector<ipp_attribute_t*>> answerGroups(ipp_t* response, ipp_tag_t tag)
{
    std::vector<std::vector<ipp_attribute_t*>> groups;
    bool open = false;  // a separator (an attribute without a name) or another tag ends a group
    for (ipp_attribute_t* attr = ippFirstAttribute(response); attr; attr = ippNextAttribute(response)) {
        if (ippGetGroupTag(attr) != tag || !ippGetName(attr)) {
            open = false;
            continue;
        }
        if (!open)
            groups.emplace_back();
        open = true;
        groups.back().push_back(attr);
    }
    return groups;
}
