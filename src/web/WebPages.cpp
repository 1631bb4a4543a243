#include "web/WebPages.h"

namespace orvelo::WebPages {

const std::string& pageStart()
{
    static const std::string start = R"HTML(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1, viewport-fit=cover">
<meta name="theme-color" content="#0a0a0a">
<link rel="stylesheet" href=")HTML" + styleSheet().path +
                                     R"HTML(">
<script src=")HTML" + script().path + R"HTML("></script>
)HTML";
    return start;
}

} // namespace orvelo::WebPages
