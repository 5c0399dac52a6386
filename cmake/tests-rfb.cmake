# Test properties of the RFB session's tests (included by the root after the tests are added).
if(TEST remote/tst_hvnc_interop)
    # Needs TigerVNC's Xvnc and the X tools; skips itself where they are missing.
    set_tests_properties(remote/tst_hvnc_interop PROPERTIES LABELS "interop;remote" TIMEOUT 240)
endif()
foreach(name tst_hvnc_connect tst_hvnc_exchange tst_hvnc_hostile)
    if(TEST remote/${name})
        set_tests_properties(remote/${name} PROPERTIES TIMEOUT 600)
    endif()
endforeach()
if(TEST remote/tst_hvnc_simulator)
    # A hundred connect/disconnect cycles take a few minutes, more under the sanitizers.
    set_tests_properties(remote/tst_hvnc_simulator PROPERTIES TIMEOUT 1200)
endif()
