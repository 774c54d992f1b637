// Application-shell core: settings file and snapshot files live here.
