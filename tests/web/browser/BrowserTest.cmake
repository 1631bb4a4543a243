# The web remote's pages in headless Chromium, driven against the built player. Each test starts
# the player, which announces itself on the network: labelled "socket" so it only runs inside the
# private network namespace, and alone (the player takes the real ports 8080, 6454, 5568, 4809).
# Skips (77) when node, chromium or the npm packages (npm ci in this folder) are missing.
function(orvelo_browser_test name script)
  add_test(NAME ${name}
           COMMAND ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/run_browser_test.sh ${script} $<TARGET_FILE:orvelo>
                   ${CMAKE_BINARY_DIR}/${name})
  set_tests_properties(${name} PROPERTIES
                       LABELS "socket;browser"
                       SKIP_RETURN_CODE 77
                       RUN_SERIAL TRUE
                       TIMEOUT 300)
endfunction()

# The pages a person works in: transport, playlist, settings, effects.
orvelo_browser_test(web_remote_browser remote_browser_test.mjs)
# Building a show from a phone: upload, library, playlist editing, saved playlists, media folder.
orvelo_browser_test(web_library_browser library_browser_test.mjs)
# Show-day trust: the badge tells a failed load from playing, missing files keep their place,
# impossible settings are refused, two phones never act on an old list; then who may drive the
# player: password and login, viewers, logout, idle sessions, hold-to-stop.
orvelo_browser_test(web_trust_browser trust_browser_test.mjs)
