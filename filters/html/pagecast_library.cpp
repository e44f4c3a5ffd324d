// libpagecast.so: the HTML export filter; everything is in pagecast_core.
