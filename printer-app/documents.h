// Documents (PDF, PostScript, JPEG, PNG) printed through CUPS's own converters with the driver's
// PPD, then the driver's filter.
#pragma once

#include <pappl/pappl.h>

#include <string>

#include "chain.h"

// The printer's own format: the MIME filters below convert into it.
constexpr const char* kKorviFormat = "application/vnd.korvi-laser";

// Registers the converters for the document formats the app takes.
void addDocumentFilters(pappl_system_t* system);

// CUPS's options for the PPD from the job's print options: size, density, weight, page range.
std::string ppdOptions(const pappl_pr_options_t* options);

// The job's identity as the chain's stages are told it.
ChainJob chainJob(pappl_job_t* job, const pappl_pr_options_t* options, const char* contentType);
