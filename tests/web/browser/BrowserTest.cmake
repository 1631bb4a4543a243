# The web remote's pages in headless Chromium, driven against the built player. It starts the
# player, which announces itself on the network: labelled "socket" so it only runs inside the
# private network namespace, and alone (the player takes the real ports 8080, 6454, 5568, 4809).
# Skips (77) when node, chromium or the npm packages (npm ci in this folder) are missing.
add_test(NAME web_remote_browser
         COMMAND ${CMAKE_CURRENT_LIST_DIR}/run_browser_test.sh $<TARGET_FILE:orvelo>
                 ${CMAKE_BINARY_DIR}/web-browser-test)
set_tests_properties(web_remote_browser PROPERTIES
                     LABELS "socket;browser"
                     SKIP_RETURN_CODE 77
                     RUN_SERIAL TRUE
                     TIMEOUT 300)
