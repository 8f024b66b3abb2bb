<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>MainWindow</name>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Check Update</source>
        <translation>Check Update</translation>
    </message>
    <message>
        <source>Download Update</source>
        <translation>Download Update</translation>
    </message>
    <message>
        <source>Download failed</source>
        <translation>Download failed</translation>
    </message>
    <message>
        <source>Glimmerpane Update</source>
        <translation>Glimmerpane Update</translation>
    </message>
    <message>
        <source>Installing</source>
        <translation>Installing</translation>
    </message>
    <message>
        <source>MainWindow</source>
        <translation>Glimmerpane Update</translation>
    </message>
    <message>
        <source>No</source>
        <translation>No</translation>
    </message>
    <message>
        <source>Offical Site</source>
        <translation>Official Site</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>Ok</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Update</translation>
    </message>
    <message>
        <source>We do not receive app version, you need start this program from Glimmerpane</source>
        <translation>We do not receive app version, you need start this program from Glimmerpane</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>You are downloading update, are you sure exit?</source>
        <translation>You are downloading update, are you sure exit?</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Download progress</source>
        <translation>Download progress</translation>
    </message>
    <message>
        <source>Minimise</source>
        <translation>Minimise</translation>
    </message>
    <message>
        <source>Release notes</source>
        <translation>Release notes</translation>
    </message>
    <message>
        <source>Proxy Login</source>
        <translation>Proxy Login</translation>
    </message>
    <message>
        <source>User name</source>
        <translation>User name</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>Log In</source>
        <translation>Log In</translation>
    </message>
    <message>
        <source>The proxy %1 asks for a user name and password.</source>
        <translation>The proxy %1 asks for a user name and password.</translation>
    </message>
    <message>
        <source>Install</source>
        <translation>Install</translation>
    </message>
    <message>
        <source>The installer was not allowed to start. Choose Install to try again.</source>
        <translation>The installer was not allowed to start. Choose Install to try again.</translation>
    </message>
    <message>
        <source>The last update did not complete. You can try it again.</source>
        <translation>The last update did not complete. You can try it again.</translation>
    </message>
    <message>
        <source>Downloading...</source>
        <translation>Downloading...</translation>
    </message>
    <message>
        <source>not contains update info</source>
        <translation>not contains update info</translation>
    </message>
    <message>
        <source>can not parse response</source>
        <translation>can not parse response</translation>
    </message>
    <message>
        <source>response is null</source>
        <translation>response is null</translation>
    </message>
    <message>
        <source>code is: %1</source>
        <translation>code is: %1</translation>
    </message>
    <message>
        <source>not contains data</source>
        <translation>not contains data</translation>
    </message>
    <message>
        <source>Your app version is: %1</source>
        <translation>Your app version is: %1</translation>
    </message>
    <message>
        <source>Latest app version is: %1</source>
        <translation>Latest app version is: %1</translation>
    </message>
    <message>
        <source>There are currently no updates</source>
        <translation>There are currently no updates</translation>
    </message>
</context>
</TS>
