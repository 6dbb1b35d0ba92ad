// The one page zubweb serves: plain HTML, CSS and JavaScript, no build step.
#pragma once

#include <string>
#include <vector>

// The whole page, UTF-8, for the changers named (index order). With one
// changer or none: the page of one changer, without tabs; with more, a tab
// per changer.
const std::string& WebPageHtml();
std::string WebPageHtml(const std::vector<std::string>& changerNames);
