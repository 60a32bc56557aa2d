package com.vantor.ovix.config;

public final class ConfigOvix {
    public static int getFirmwareVersion(long image) { return 10203; }
    public int getUpdateState(int image) { return 0; }
    public static int getLanIp4AddressS() { return 1; }
    public String getWlanIp4AddressS() { return "10.0.0.1"; }
    public static String getAnswer() { return "42"; }
}
