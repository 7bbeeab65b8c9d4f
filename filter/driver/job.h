// Job and page hooks: the commands that open and close a job and each of its pages.
#pragma once

void JobSetup();
void PageSetup();
void PageFinish();
int JobFinish();
