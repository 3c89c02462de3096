# The node's page in a real headless browser against brevane, smsd and tncsim. The system's
# python3 comes first: that is where Debian's python3-selenium lives. Without selenium or
# chromium the test says so and is skipped.
find_program(GULLWICK_BROWSER_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
find_program(GULLWICK_BROWSER_PYTHON python3)
if(GULLWICK_BROWSER_PYTHON)
  add_test(NAME web.browser
    COMMAND ${GULLWICK_BROWSER_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/browser_test.py
      --brevane $<TARGET_FILE:brevane> --tncsim $<TARGET_FILE:tncsim> --smsd $<TARGET_FILE:smsd>)
  set_tests_properties(web.browser PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
endif()
# The web port under attack (idle, dribbling and oversized requests) while a radio user lists
# his messages, the node run under its unit's descriptor limit.
if(GULLWICK_BROWSER_PYTHON)
  add_test(NAME web.attack
    COMMAND ${GULLWICK_BROWSER_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/attack_test.py
      --brevane $<TARGET_FILE:brevane> --tncsim $<TARGET_FILE:tncsim> --smsd $<TARGET_FILE:smsd>)
  set_tests_properties(web.attack PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 180)
endif()
