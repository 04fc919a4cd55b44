# The checks of the sine and cosine, read by tests/CMakeLists.txt once
# GoogleTest is found, so that their programs are built with the other tests
# (build/tests/). Every argument is checked with both signs.

# Special values and known results, by bits.
geocart_add_unit_test(sine_cosine SOURCE ${CMAKE_CURRENT_LIST_DIR}/sine_cosine_test.cpp
                      LINK sine_cosine)

# sin and cos against MPFR, bit for bit: the published hardest-to-round
# arguments, random arguments over every binade and the doubles nearest to
# multiples of pi/4, the arguments whose reduced argument lies near the end of
# its range, the accurate evaluation forced on every one of them and the fast
# one's error held against its bound. Fewer under the sanitizers and without
# optimisation.
if(TARGET geocart_mpfr)
  add_executable(sine_cosine_check ${CMAKE_CURRENT_LIST_DIR}/sine_cosine_check.cpp)
  target_link_libraries(sine_cosine_check PRIVATE sine_cosine geocart_flags geocart_mpfr
                        Threads::Threads)
  if(GEOCART_SANITIZE OR GEOCART_SANITIZE_THREAD OR NOT CMAKE_BUILD_TYPE STREQUAL "Release")
    set(sine_cosine_random 20000)
    set(sine_cosine_multiples 6000)
  else()
    set(sine_cosine_random 1000000)
    set(sine_cosine_multiples 60000)
  endif()
  add_test(NAME SineCosine.HardestToRoundArguments
           COMMAND sine_cosine_check hard ${CMAKE_CURRENT_LIST_DIR}/sin-hard-arguments.txt
                   ${CMAKE_CURRENT_LIST_DIR}/cos-hard-arguments.txt)
  add_test(NAME SineCosine.RandomArgumentsOverEveryBinade
           COMMAND sine_cosine_check random ${sine_cosine_random} 1 2)
  add_test(NAME SineCosine.NearestToMultiplesOfPiOver4
           COMMAND sine_cosine_check multiples ${sine_cosine_multiples} 1 2)
  # Where the fast evaluation's error comes nearest its bound: a reduced
  # argument near +-pi/1024.
  add_test(NAME SineCosine.NearTheEndsOfTheReducedRange
           COMMAND sine_cosine_check edges ${sine_cosine_multiples} 1 2)
  # The fast evaluation's error bound worked out term by term: each constant
  # must cover its terms.
  add_test(NAME SineCosine.ErrorBoundCoversItsTerms COMMAND sine_cosine_bounds)
  # The tables are what their generator writes, byte for byte.
  add_test(NAME SineCosine.TablesAsGenerated
           COMMAND sh -c "\"$0\" | cmp - \"$1\"" $<TARGET_FILE:make_sine_cosine_tables>
                   ${CMAKE_CURRENT_LIST_DIR}/sine_cosine_tables.h)
else()
  foreach(name HardestToRoundArguments RandomArgumentsOverEveryBinade NearestToMultiplesOfPiOver4
               NearTheEndsOfTheReducedRange ErrorBoundCoversItsTerms TablesAsGenerated)
    add_test(NAME SineCosine.${name}
             COMMAND sh -c "echo 'MPFR not found (apt-get install libmpfr-dev): sine and cosine check skipped'; exit 77")
    set_tests_properties(SineCosine.${name} PROPERTIES SKIP_RETURN_CODE 77)
  endforeach()
endif()

# One hash of the bits of sin and cos over the random arguments of the check,
# by which builds that cannot run the check (a cross build under its
# emulator) are compared with one that does: tests/corpus/compare_builds.sh.
add_executable(sine_cosine_digest ${CMAKE_CURRENT_LIST_DIR}/sine_cosine_digest.cpp)
target_link_libraries(sine_cosine_digest PRIVATE sine_cosine geocart_flags)
