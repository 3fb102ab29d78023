// A shared library without the driver's entry points, for the loader's
// error message. (Not *.cpp: it is no part of the test program.)
extern "C" int not_a_driver_marker()
{
    return 42;
}
