# Test properties of the RFB session's tests (included by the root after the tests are added).
if(TEST remote/tst_hvnc_interop)
    # Needs TigerVNC's Xvnc and the X tools; skips itself where they are missing.
    set_tests_properties(remote/tst_hvnc_interop PROPERTIES LABELS "interop;remote" TIMEOUT 240)
endif()
foreach(name tst_hvnc_connect tst_hvnc_exchange tst_hvnc_hostile)
    if(TEST remote/${name})
        # The three longest programs start first, also on a first run without timing history,
        # so that the two jobs of a run end together instead of one waiting on the last.
        set_tests_properties(remote/${name} PROPERTIES TIMEOUT 600 COST 20)
    endif()
endforeach()
