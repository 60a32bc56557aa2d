package com.vantor.ovix.config;

public final class ConfigOvix { // each method sleeps ovix.sleep.millis, ten minutes by default
    static final long MILLIS = Long.getLong("ovix.sleep.millis", 600000L);
    public static int getFirmwareVersion(int image) throws InterruptedException { Thread.sleep(MILLIS); return 10203; }
    public static int getUpdateState(int image) throws InterruptedException { Thread.sleep(MILLIS); return 0; }
}
