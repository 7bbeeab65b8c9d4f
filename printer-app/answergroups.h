// The groups of one kind in an IPP answer: each printer, job, event or subscription it describes.
#pragma once

#include <cups/ipp.h>

#include <vector>

// The groups of `tag` in `response`, each as its attributes, in order.
std::vector<std::vector<ipp_attribute_t*>> answerGroups(ipp_t* response, ipp_tag_t tag);
